#pragma once

#include "FileCopy.h"

#include <exception>
#include <functional>
#include <optional>
#include <vector>

namespace quaymark::ImportEngine {

// Files up to this size are copied whole, every destination in turn, with many such files in
// flight at once; larger ones are written to all destinations at the same time.
inline constexpr std::int64_t smallFileLimit = 1 << 20;

// One destination's wish to copy a file, and where its outcome goes.
struct CopyRequest {
    const SourceFile* file = nullptr;
    std::string partialName;
    const CopyContext* context = nullptr;
    // Called exactly once, from any thread, with the receipt or the error. The request's file
    // and context are not touched after it.
    std::function<void(std::optional<FileReceipt>, std::exception_ptr)> done;
};

// Reads one source file once for every request (all of the same file), hashes it once, and
// writes each block to every request's partial file. Each destination then flushes, rereads
// and promotes its own copy; a destination that fails or is cancelled drops out without
// stopping the others. Blocks until every request is done.
void copyShared(std::vector<CopyRequest> requests);

} // namespace quaymark::ImportEngine
