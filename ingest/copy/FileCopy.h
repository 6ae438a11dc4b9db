#pragma once

#include "ProgressTracker.h"
#include "VolumeGuard.h"
#include "ingest/records/CancellationFlag.h"
#include "ingest/records/ImportRecords.h"

#include <filesystem>
#include <string>

namespace quaymark::ImportEngine {

// What every copy of one run shares.
struct CopyContext {
    std::filesystem::path importFolder;
    const CancellationFlag& cancellation;
    // Set by the run itself to stop sibling copies after a failure.
    const CancellationFlag& localCancel;
    const VolumeGuard& sourceGuard;
    const VolumeGuard& targetGuard;
    ProgressTracker& tracker;
};

// Copies one planned file under `partialName` while hashing it, rereads the copy from storage,
// and gives it its final name only when both hashes agree. A failed or cancelled copy leaves
// neither a partial nor a final file.
FileReceipt copy(const SourceFile& file, const std::string& partialName,
                 const CopyContext& context);

} // namespace quaymark::ImportEngine
