#include "FileDigest.h"

#include "ReadAhead.h"
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

} // namespace quaymark
