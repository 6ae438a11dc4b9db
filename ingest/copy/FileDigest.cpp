// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileDigest.h"

#include "FileCopy.h"
#include "ReadAhead.h"
#include "UniqueFd.h"
#include "ingest/records/Sha256.h"
#include "ingest/records/Xxh128.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <future>

namespace quaymark {

namespace {

// Blocks at least this large have their XXH3 computed on a second thread beside the SHA-256,
// so that the extra hash costs no time where SHA-256 is the bottleneck; a thread for a small
// block would cost more than the hash.
constexpr ssize_t parallelHashMinimum = 1 << 20;

// Non-blocking, so that a FIFO in a file's place cannot hold a worker; a link is not followed.
constexpr int readFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

ImportEngine::FileHashes readHashed(UniqueFd fd, const std::string& name,
                                    const CancellationFlag& cancellation,
                                    const ImportEngine::ChunkCallback& onChunk, Xxh128* xxh) {
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
            const auto length = static_cast<size_t>(block.size);
            std::future<void> side;
            if (xxh && block.size >= parallelHashMinimum) {
                side = std::async(std::launch::async,
                                  [xxh, data = block.data, length] { xxh->update(data, length); });
            } else if (xxh) {
                xxh->update(block.data, length);
            }
            hash.update(block.data, length);
            if (side.valid()) {
                side.get(); // the block is reused by the reader after the next call
            }
            if (onChunk) {
                onChunk(length);
            }
            cancellation.check();
        }
    }
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
    return ImportEngine::FileHashes{hash.finishHex(), xxh ? xxh->finishHex() : std::string()};
}

UniqueFd openForReading(const std::filesystem::path& file) {
    return UniqueFd{retryOnInterrupt([&] { return ::open(file.c_str(), readFlags); })};
}

UniqueFd openForReading(int folder, const std::string& name) {
    return UniqueFd{retryOnInterrupt([&] { return ::openat(folder, name.c_str(), readFlags); })};
}

} // namespace

std::string ImportEngine::digest(const std::filesystem::path& file,
                                 const CancellationFlag& cancellation,
                                 const ChunkCallback& onChunk) {
    return atEngineEdge([&] {
        return readHashed(openForReading(file), file.string(), cancellation, onChunk, nullptr)
            .sha256;
    });
}

std::string ImportEngine::digestAt(int folder, const std::string& name,
                                   const std::filesystem::path& shown,
                                   const CancellationFlag& cancellation,
                                   const ChunkCallback& onChunk) {
    return readHashed(openForReading(folder, name), shown.string(), cancellation, onChunk, nullptr)
        .sha256;
}

ImportEngine::FileHashes ImportEngine::hashes(const std::filesystem::path& file,
                                              const CancellationFlag& cancellation,
                                              const ChunkCallback& onChunk) {
    return atEngineEdge([&] {
        Xxh128 xxh;
        return readHashed(openForReading(file), file.string(), cancellation, onChunk,
                          xxh128Enabled() ? &xxh : nullptr);
    });
}

ImportEngine::FileHashes ImportEngine::hashesAt(int folder, const std::string& name,
                                                const std::filesystem::path& shown,
                                                const CancellationFlag& cancellation,
                                                const ChunkCallback& onChunk) {
    Xxh128 xxh;
    return readHashed(openForReading(folder, name), shown.string(), cancellation, onChunk,
                      xxh128Enabled() ? &xxh : nullptr);
}

} // namespace quaymark
