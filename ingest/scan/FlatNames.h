// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DestinationNames.h"
#include "ingest/records/ImportRecords.h"

#include <vector>

namespace quaymark::ImportEngine {

// Gives the files of a sorted video-only plan output names that no two files share, even on a
// destination that ignores case or Unicode normalisation. A name shared by several files gets
// "_" + 12 hex digits of its relative path's SHA-256 before the extension; a name that still
// clashes with one already given becomes "clip_" + 20 hex digits + "." + extension.
// Characters the destination's `rules` refuse become "_" first.
void assignFlatNames(std::vector<SourceFile>& plan, const NameRules& rules = {});

} // namespace quaymark::ImportEngine
