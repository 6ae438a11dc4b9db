// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileCopy.h"

#include "AlignedBuffer.h"
#include "FileDigest.h"
#include "FolderBeneath.h"
#include "ReadAhead.h"
#include "SafeMove.h"
#include "UniqueFd.h"
#include "ingest/records/Sha256.h"
#include "ingest/records/Xxh128.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <string_view>
#include <system_error>

namespace quaymark {

namespace fs = std::filesystem;

namespace {

// Volume checks while copying and while rereading, in bytes of the file.
constexpr std::int64_t copyCheckInterval = 134'217'727;
constexpr std::int64_t verifyCheckInterval = 134'217'728;
constexpr double modifiedTolerance = 0.01;

double toSeconds(const timespec& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

double toSeconds(Timestamp date) {
    return std::chrono::duration<double>(date.time_since_epoch()).count();
}

bool operator==(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

timespec toTimespec(Timestamp date) {
    const auto since = date.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds);
    return {static_cast<time_t>(seconds.count()), static_cast<long>(nanoseconds.count())};
}

void checkVolumes(const ImportEngine::CopyContext& context) {
    context.sourceGuard.check();
    context.targetGuard.check();
}

// Buffered writeback is several times slower than direct writes on common storage, and a copy
// that bypasses the page cache also leaves nothing there for the reread to find.
void preferDirectWrites(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags | O_DIRECT);
    }
}

bool stopDirectWrites(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && (flags & O_DIRECT) != 0 && ::fcntl(fd, F_SETFL, flags & ~O_DIRECT) == 0;
}

void writeAll(int fd, const std::byte* data, size_t length, const std::string& output) {
    if (length % AlignedBuffer::alignment != 0) {
        stopDirectWrites(fd); // the tail of a file
    }
    while (length > 0) {
        const ssize_t n = retryOnInterrupt([&] { return ::write(fd, data, length); });
        if (n < 0 && errno == EINVAL && stopDirectWrites(fd)) {
            continue; // the file system refused the alignment; write through the cache
        }
        if (n < 0) {
            throw QuayError::io("Write", output, errno);
        }
        if (n == 0) {
            throw QuayError::io("Write", output, EIO);
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
}

} // namespace

// Weak, so that only the benchmark's own build of the command can replace it.
__attribute__((weak)) bool ImportEngine::xxh128Enabled() {
    return true;
}

ImportEngine::CopySource::CopySource(const SourceFile& file, size_t depth, bool withXxh128)
    : file_(file) {
    // Non-blocking: a FIFO put in a clip's place must fail the copy, not hold it forever.
    fd_ = UniqueFd{retryOnInterrupt(
        [&] { return ::open(file.url.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); })};
    if (!fd_) {
        throw QuayError::io("Open source", file.relative, errno);
    }
    if (::fstat(fd_.get(), &before_) != 0) {
        throw QuayError::io("Open source", file.relative, errno);
    }
    if (!S_ISREG(before_.st_mode) || before_.st_size != file.bytes) {
        throw QuayError::changed(file.relative);
    }
    if (file.modified &&
        std::fabs(toSeconds(before_.st_mtim) - toSeconds(*file.modified)) > modifiedTolerance) {
        throw QuayError::changed(file.relative);
    }
    if (withXxh128 && xxh128Enabled()) {
        xxh_.emplace();
    }
    reader_.emplace(fd_.get(), depth);
}

ImportEngine::CopySource::~CopySource() {
    reader_.reset(); // joined before the descriptor closes
    if (fd_) {
        ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_DONTNEED);
    }
}

ReadAhead::Block ImportEngine::CopySource::next() {
    const ReadAhead::Block block = reader_->next();
    if (block.size < 0) {
        throw QuayError::io("Read", file_.relative, block.error);
    }
    if (block.size == 0) {
        struct stat after {};
        if (::fstat(fd_.get(), &after) != 0 || read_ != before_.st_size ||
            after.st_size != before_.st_size || !(after.st_mtim == before_.st_mtim) ||
            !(after.st_ctim == before_.st_ctim)) {
            throw QuayError::changed(file_.relative);
        }
        return block;
    }
    sha_.update(block.data, static_cast<size_t>(block.size));
    if (xxh_) {
        xxh_->update(block.data, static_cast<size_t>(block.size));
    }
    read_ += block.size;
    return block;
}

ImportEngine::SourceDigests ImportEngine::CopySource::digests() {
    return {sha_.finishHex(), xxh_ ? xxh_->finishHex() : std::string(), read_};
}

ImportEngine::CopyWriter::CopyWriter(const SourceFile& file, const std::string& partialName,
                                     const CopyContext& context)
    : file_(file)
    , context_(context) {
    checkVolumes(context);
    // The partial name always lies beside the final one.
    place_ = placeBeneath(context.importFolder, file.output, true);
    shownFolder_ = (context.importFolder / file.output).parent_path();
    partialBase_ = fs::path(partialName).filename().string();
    if (fs::path(partialName).parent_path() != fs::path(file.output).parent_path()) {
        throw QuayError::invalidLocation("Invalid temporary-file recovery record.");
    }
    partial_.fd = UniqueFd{retryOnInterrupt([&] {
        return ::openat(place_.folder.get(), partialBase_.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    })};
    if (!partial_.fd) {
        throw QuayError::io("Create destination", file.output, errno);
    }
    partial_.folder = place_.folder.get();
    partial_.name = partialBase_;
    preferDirectWrites(partial_.fd.get());
    context.cancellation.check();
}

ImportEngine::CopyWriter::Partial::~Partial() {
    if (fd) {
        fd.reset();
        ::unlinkat(folder, name.c_str(), 0);
    }
}

void ImportEngine::CopyWriter::write(const std::byte* data, size_t length) {
    context_.localCancel.check();
    writeAll(partial_.fd.get(), data, length, file_.output);
    const auto n = static_cast<std::int64_t>(length);
    copied_ += n;
    if (copied_ - lastCheck_ > copyCheckInterval) {
        checkVolumes(context_);
        lastCheck_ = copied_;
    }
    context_.tracker.update(
        [&](ImportProgress& state) {
            state.copiedBytes += n;
            state.currentFile = file_.output;
            ProgressTracker::recomputePhase(state);
        },
        copied_ == file_.bytes ? ProgressTracker::Report::always
                               : ProgressTracker::Report::throttled);
    context_.cancellation.check();
}

FileReceipt ImportEngine::CopyWriter::finish(const SourceDigests& source) {
    context_.localCancel.check();
    if (retryOnInterrupt([&] { return ::fsync(partial_.fd.get()); }) != 0) {
        throw QuayError::io("Flush destination", file_.output, errno);
    }
    // The written pages are clean after the flush; dropping them makes the reread hit storage.
    ::posix_fadvise(partial_.fd.get(), 0, 0, POSIX_FADV_DONTNEED);

    std::int64_t verified = 0;
    const auto onChunk = [&](size_t length) {
        context_.localCancel.check();
        const std::int64_t previous = verified;
        verified += static_cast<std::int64_t>(length);
        if (verified / verifyCheckInterval != previous / verifyCheckInterval) {
            checkVolumes(context_);
        }
        context_.tracker.update(
            [&](ImportProgress& state) {
                state.verifiedBytes += static_cast<std::int64_t>(length);
                state.currentFile = file_.output;
                ProgressTracker::recomputePhase(state);
            },
            ProgressTracker::Report::throttled);
    };
    const FileHashes reread = hashesAt(place_.folder.get(), partialBase_,
                                       shownFolder_ / partialBase_, context_.cancellation, onChunk);
    if (reread.sha256 != source.sha256 || reread.xxh128 != source.xxh128 ||
        verified != source.bytes || copied_ != source.bytes) {
        throw QuayError::verification(file_.output);
    }

    context_.cancellation.check();
    context_.localCancel.check();
    checkVolumes(context_);

    if (file_.modified) {
        const timespec times[2] = {{0, UTIME_OMIT}, toTimespec(*file_.modified)};
        if (::futimens(partial_.fd.get(), times) != 0) {
            throw std::filesystem::filesystem_error(
                "Cannot set the modification date", shownFolder_ / partialBase_,
                std::error_code(errno, std::generic_category()));
        }
    }
    moveWithoutReplacing(place_.folder.get(), partialBase_, place_.name, shownFolder_);
    partial_.fd.reset(); // moved into place: nothing left to remove

    context_.tracker.update(
        [&](ImportProgress& state) {
            state.verifiedFiles += 1;
            state.currentFile = file_.output;
            ProgressTracker::recomputePhase(state);
        },
        ProgressTracker::Report::always);

    return FileReceipt{
        file_.output,   source.bytes,
        source.sha256,  file_.modified,
        file_.relative, source.xxh128.empty() ? std::nullopt : std::optional(source.xxh128)};
}

} // namespace quaymark
