// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DestinationNames.h"
#include "ingest/records/CancellationFlag.h"
#include "ingest/records/ImportRecords.h"

#include <filesystem>
#include <vector>

namespace quaymark::ImportEngine {

// The plan of a source folder: every regular file below `root` (or, with `videosOnly`, every
// video clip, flattened to collision-free names), sorted by relative path. Symbolic links are
// neither planned nor followed; system folders such as ".Trashes" are left out entirely.
// `root` must already be resolved (see resolvedPath). Throws `unavailable` when the root cannot
// be read, `changed` when an item resolves outside the root, `cancelled` when the flag is set,
// and the platform's error when a folder below the root cannot be read.
// Flattened names also fit the destination's `rules`.
std::vector<SourceFile> scan(const std::filesystem::path& root, bool videosOnly,
                             const CancellationFlag& cancellation, const NameRules& rules = {});

// The video clips of `folder` in plan order.
std::vector<std::filesystem::path> videoFiles(const std::filesystem::path& folder);

} // namespace quaymark::ImportEngine
