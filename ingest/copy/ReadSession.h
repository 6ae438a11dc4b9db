// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FileCopy.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quaymark::ImportEngine {

// Files up to this size are copied whole, every destination in turn, with many such files in
// flight at once; larger ones are written to all destinations at the same time.
inline constexpr std::int64_t smallFileLimit = 1 << 20;
// How long a destination that falls behind, or has not asked for a file the others have, may
// hold them: longer than a drive's usual hiccup, short enough not to set a slow drive's pace.
inline constexpr std::chrono::milliseconds defaultLaggardGrace{2000};

// One destination's wish to copy a file, and where its outcome goes.
struct CopyRequest {
    const SourceFile* file = nullptr;
    std::string partialName;
    const CopyContext* context = nullptr;
    // Called exactly once, from any thread, with the receipt or the error. The request's file
    // and context are not touched after it.
    std::function<void(std::optional<FileReceipt>, std::exception_ptr)> done;
    // Optional: called before `done` when a large file's copy no longer needs the source's
    // blocks, all written, and goes on to flush, reread and promote.
    std::function<void()> written;
    // Optional: set while this destination's run is known to lag behind the others, by the
    // sharing of reads or by a shared read it had to leave; read and set from any thread.
    std::shared_ptr<std::atomic<bool>> lagging;
    // How long a destination that fell behind may hold the others before it goes on alone.
    std::chrono::milliseconds laggardGrace = defaultLaggardGrace;
};

// Reads one source file once for every request (all of the same file), hashes it once, and
// writes each block to every request's partial file. Each destination then flushes, rereads
// and promotes its own copy; a destination that fails or is cancelled drops out without
// stopping the others. Returns once the source has been read; a large file's copies may still
// be verifying then, on the verifying workers.
void copyShared(std::vector<CopyRequest> requests);

// Copies one planned file under `partialName` while hashing it, rereads the copy from storage,
// and gives it its final name only when both hashes agree. A failed or cancelled copy leaves
// neither a partial nor a final file.
FileReceipt copy(const SourceFile& file, const std::string& partialName,
                 const CopyContext& context);

} // namespace quaymark::ImportEngine
