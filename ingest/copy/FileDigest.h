// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/CancellationFlag.h"

#include <filesystem>
#include <functional>
#include <string>

namespace quaymark::ImportEngine {

// Called with each block's length; may throw to stop the digest.
using ChunkCallback = std::function<void(size_t)>;

// SHA-256 of a file read from storage (its cached pages are dropped before and after).
// Anything but a regular file is refused at once, never waited on.
std::string digest(const std::filesystem::path& file, const CancellationFlag& cancellation,
                   const ChunkCallback& onChunk = {});

// The same for the entry `name` of an open folder, which must not be a link; `shown` names
// the file in errors.
std::string digestAt(int folder, const std::string& name, const std::filesystem::path& shown,
                     const CancellationFlag& cancellation, const ChunkCallback& onChunk = {});

struct FileHashes {
    std::string sha256;
    std::string xxh128;
};

// SHA-256 and XXH3-128 of a file in the same single read as digest().
FileHashes hashes(const std::filesystem::path& file, const CancellationFlag& cancellation,
                  const ChunkCallback& onChunk = {});
FileHashes hashesAt(int folder, const std::string& name, const std::filesystem::path& shown,
                    const CancellationFlag& cancellation, const ChunkCallback& onChunk = {});

} // namespace quaymark::ImportEngine
