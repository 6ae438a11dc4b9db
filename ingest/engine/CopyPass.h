// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "JournalWriter.h"
#include "ingest/copy/FileCopy.h"
#include "ingest/copy/SharedReads.h"

#include <vector>

namespace quaymark::ImportEngine {

// Copies the pending files in plan order through `sharing`, with at most `parallelFiles` large
// files and a fixed number of small ones in flight, recording each receipt in the journal as
// it arrives. The first error wins: it stops the siblings, whose receipts are still recorded
// if they finish, and is thrown once all have ended.
void copyPending(const std::vector<const SourceFile*>& pending, std::int64_t parallelFiles,
                 const CopyContext& context, CancellationFlag& localCancel, JournalWriter& journal,
                 SharedReads::Member& sharing);

} // namespace quaymark::ImportEngine
