#include "FileDigest.h"

#include "ReadAhead.h"
#include "UniqueFd.h"
#include "ingest/records/Sha256.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace quaymark {

namespace {

// Non-blocking, so that a FIFO in a file's place cannot hold a worker; a link is not followed.
constexpr int readFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

std::string digestOpen(UniqueFd fd, const std::string& name, const CancellationFlag& cancellation,
                       const ImportEngine::ChunkCallback& onChunk) {
    if (!fd) {
        throw QuayError::io("Open for verification", name, errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        throw QuayError::io("Open for verification", name, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        throw QuayError::io("Open for verification", name, EINVAL);
    }
    // A reread served from the page cache would prove nothing about the storage. Where the
    // file system cannot read around the cache, drop the file's cached pages instead.
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
    cancellation.check();

    Sha256 hash;
    {
        ReadAhead reader{fd.get(), 2};
        for (;;) {
            const ReadAhead::Block block = reader.next();
            if (block.size < 0) {
                throw QuayError::io("Read", name, block.error);
            }
            if (block.size == 0) {
                break;
            }
            hash.update(block.data, static_cast<size_t>(block.size));
            if (onChunk) {
                onChunk(static_cast<size_t>(block.size));
            }
            cancellation.check();
        }
    }
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
    return hash.finishHex();
}

} // namespace

std::string ImportEngine::digest(const std::filesystem::path& file,
                                 const CancellationFlag& cancellation,
                                 const ChunkCallback& onChunk) {
    return digestOpen(UniqueFd{retryOnInterrupt([&] { return ::open(file.c_str(), readFlags); })},
                      file.string(), cancellation, onChunk);
}

std::string ImportEngine::digestAt(int folder, const std::string& name,
                                   const std::filesystem::path& shown,
                                   const CancellationFlag& cancellation,
                                   const ChunkCallback& onChunk) {
    return digestOpen(
        UniqueFd{retryOnInterrupt([&] { return ::openat(folder, name.c_str(), readFlags); })},
        shown.string(), cancellation, onChunk);
}

} // namespace quaymark
