#pragma once

#include "JournalWriter.h"
#include "ingest/copy/FileCopy.h"

#include <vector>

namespace quaymark::ImportEngine {

// Copies the pending files on the shared disk workers with at most `parallelFiles` in flight,
// recording each receipt in the journal as it arrives. The first error wins: it stops the
// siblings, whose receipts are still recorded if they finish, and is thrown once all have ended.
void copyPending(const std::vector<const SourceFile*>& pending, std::int64_t parallelFiles,
                 const CopyContext& context, CancellationFlag& localCancel, JournalWriter& journal);

} // namespace quaymark::ImportEngine
