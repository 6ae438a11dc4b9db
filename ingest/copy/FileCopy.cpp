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
#include <future>
#include <system_error>

namespace quaymark {

namespace fs = std::filesystem;

namespace {

// Volume checks while copying and while rereading, in bytes of the file.
constexpr std::int64_t copyCheckInterval = 134'217'727;
constexpr std::int64_t verifyCheckInterval = 134'217'728;
constexpr double modifiedTolerance = 0.01;

// The copy under its hidden name, in its open folder; removed on every exit unless it was
// moved into place.
class PartialFile {
public:
    PartialFile(int folder, std::string name, UniqueFd fd)
        : folder_(folder)
        , name_(std::move(name))
        , fd_(std::move(fd)) {}
    ~PartialFile() {
        fd_.reset();
        ::unlinkat(folder_, name_.c_str(), 0);
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    int fd() const { return fd_.get(); }
    const std::string& name() const { return name_; }

private:
    int folder_;
    std::string name_;
    UniqueFd fd_;
};

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

FileReceipt ImportEngine::copy(const SourceFile& file, const std::string& partialName,
                               const CopyContext& context) {
    checkVolumes(context);
    // The partial name always lies beside the final one.
    PlaceBeneath place = placeBeneath(context.importFolder, file.output, true);
    const fs::path shownFolder = (context.importFolder / file.output).parent_path();
    const std::string partialBase = fs::path(partialName).filename().string();
    if (fs::path(partialName).parent_path() != fs::path(file.output).parent_path()) {
        throw QuayError::invalidLocation("Invalid temporary-file recovery record.");
    }

    // Non-blocking: a FIFO put in a clip's place must fail the copy, not hold it forever.
    UniqueFd source{retryOnInterrupt(
        [&] { return ::open(file.url.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); })};
    if (!source) {
        throw QuayError::io("Open source", file.relative, errno);
    }

    struct stat before {};
    if (::fstat(source.get(), &before) != 0) {
        throw QuayError::io("Open source", file.relative, errno);
    }
    if (!S_ISREG(before.st_mode) || before.st_size != file.bytes) {
        throw QuayError::changed(file.relative);
    }
    if (file.modified &&
        std::fabs(toSeconds(before.st_mtim) - toSeconds(*file.modified)) > modifiedTolerance) {
        throw QuayError::changed(file.relative);
    }

    UniqueFd partialFd{retryOnInterrupt([&] {
        return ::openat(place.folder.get(), partialBase.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    })};
    if (!partialFd) {
        throw QuayError::io("Create destination", file.output, errno);
    }
    PartialFile partial{place.folder.get(), partialBase, std::move(partialFd)};
    preferDirectWrites(partial.fd());

    // Three blocks in flight: one read from the source, one hashed, one written to the copy.
    ReadAhead reader{source.get(), 3};
    // XXH3 runs on the writing thread, beside the SHA-256 of the next block.
    Xxh128 xxh;
    // Declared after everything it uses, so that it is joined before they are released.
    std::future<void> writing;
    Sha256 hash;
    context.cancellation.check();

    std::int64_t copied = 0;
    std::int64_t lastCheck = 0;
    for (;;) {
        context.localCancel.check();
        const ReadAhead::Block block = reader.next();
        const ssize_t n = block.size;
        if (n < 0) {
            throw QuayError::io("Read", file.relative, block.error);
        }
        if (n == 0) {
            struct stat after {};
            if (::fstat(source.get(), &after) != 0 || copied != before.st_size ||
                after.st_size != before.st_size || !(after.st_mtim == before.st_mtim) ||
                !(after.st_ctim == before.st_ctim)) {
                throw QuayError::changed(file.relative);
            }
            if (writing.valid()) {
                writing.get();
            }
            if (retryOnInterrupt([&] { return ::fsync(partial.fd()); }) != 0) {
                throw QuayError::io("Flush destination", file.output, errno);
            }
            break;
        }
        hash.update(block.data, static_cast<size_t>(n));
        if (writing.valid()) {
            writing.get(); // the previous block is on disk, or its error is thrown here
        }
        if (static_cast<size_t>(n) < copyBlockSize) {
            // The last block: nothing is left to overlap its write with.
            xxh.update(block.data, static_cast<size_t>(n));
            writeAll(partial.fd(), block.data, static_cast<size_t>(n), file.output);
        } else {
            writing = std::async(std::launch::async,
                                 [fd = partial.fd(), data = block.data, n, &file, &xxh] {
                                     xxh.update(data, static_cast<size_t>(n));
                                     writeAll(fd, data, static_cast<size_t>(n), file.output);
                                 });
        }

        copied += n;
        if (copied - lastCheck > copyCheckInterval) {
            checkVolumes(context);
            lastCheck = copied;
        }
        context.tracker.update(
            [&](ImportProgress& state) {
                state.copiedBytes += n;
                state.currentFile = file.output;
                ProgressTracker::recomputePhase(state);
            },
            copied == before.st_size ? ProgressTracker::Report::always
                                     : ProgressTracker::Report::throttled);
        context.cancellation.check();
    }
    const std::string copyHash = hash.finishHex();
    const std::string copyXxh = xxh.finishHex();
    // The written pages are clean after the flush; dropping them makes the reread hit storage.
    ::posix_fadvise(partial.fd(), 0, 0, POSIX_FADV_DONTNEED);
    ::posix_fadvise(source.get(), 0, 0, POSIX_FADV_DONTNEED);

    std::int64_t verified = 0;
    const auto onChunk = [&](size_t length) {
        context.localCancel.check();
        const std::int64_t previous = verified;
        verified += static_cast<std::int64_t>(length);
        if (verified / verifyCheckInterval != previous / verifyCheckInterval) {
            checkVolumes(context);
        }
        context.tracker.update(
            [&](ImportProgress& state) {
                state.verifiedBytes += static_cast<std::int64_t>(length);
                state.currentFile = file.output;
                ProgressTracker::recomputePhase(state);
            },
            ProgressTracker::Report::throttled);
    };
    const FileHashes reread = hashesAt(place.folder.get(), partialBase, shownFolder / partialBase,
                                       context.cancellation, onChunk);
    if (reread.sha256 != copyHash || reread.xxh128 != copyXxh || verified != before.st_size) {
        throw QuayError::verification(file.output);
    }

    context.cancellation.check();
    context.localCancel.check();
    checkVolumes(context);

    if (file.modified) {
        const timespec times[2] = {{0, UTIME_OMIT}, toTimespec(*file.modified)};
        if (::futimens(partial.fd(), times) != 0) {
            throw std::filesystem::filesystem_error(
                "Cannot set the modification date", shownFolder / partialBase,
                std::error_code(errno, std::generic_category()));
        }
    }
    moveWithoutReplacing(place.folder.get(), partialBase, place.name, shownFolder);

    context.tracker.update(
        [&](ImportProgress& state) {
            state.verifiedFiles += 1;
            state.currentFile = file.output;
            ProgressTracker::recomputePhase(state);
        },
        ProgressTracker::Report::always);

    return FileReceipt{file.output,   before.st_size, copyHash,
                       file.modified, file.relative,  copyXxh};
}

} // namespace quaymark
