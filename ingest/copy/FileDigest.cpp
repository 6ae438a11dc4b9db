#include "FileDigest.h"

#include "AlignedBuffer.h"
#include "UniqueFd.h"
#include "ingest/records/Sha256.h"

#include <fcntl.h>

namespace quaymark {

std::string ImportEngine::digest(const std::filesystem::path& file,
                                 const CancellationFlag& cancellation,
                                 const ChunkCallback& onChunk) {
    const std::string name = file.string();
    UniqueFd fd{
        retryOnInterrupt([&] { return ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC); })};
    if (!fd) {
        throw QuayError::io("Open for verification", name, errno);
    }
    // A reread served from the page cache would prove nothing about the storage.
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    cancellation.check();

    AlignedBuffer buffer(copyBlockSize);
    Sha256 hash;
    for (;;) {
        const ssize_t n =
            retryOnInterrupt([&] { return ::read(fd.get(), buffer.data(), buffer.size()); });
        if (n < 0) {
            throw QuayError::io("Read", name, errno);
        }
        if (n == 0) {
            ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
            return hash.finishHex();
        }
        hash.update(buffer.data(), static_cast<size_t>(n));
        if (onChunk) {
            onChunk(static_cast<size_t>(n));
        }
        cancellation.check();
    }
}

} // namespace quaymark
