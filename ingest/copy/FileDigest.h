#pragma once

#include "ingest/records/CancellationFlag.h"

#include <filesystem>
#include <functional>
#include <string>

namespace quaymark::ImportEngine {

// Called with each block's length; may throw to stop the digest.
using ChunkCallback = std::function<void(size_t)>;

// SHA-256 of a file read from storage (its cached pages are dropped before and after).
std::string digest(const std::filesystem::path& file, const CancellationFlag& cancellation,
                   const ChunkCallback& onChunk = {});

struct FileHashes {
    std::string sha256;
    std::string xxh128;
};

// SHA-256 and XXH3-128 of a file in the same single read as digest().
FileHashes hashes(const std::filesystem::path& file, const CancellationFlag& cancellation,
                  const ChunkCallback& onChunk = {});

} // namespace quaymark::ImportEngine
