// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/ImportRecords.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quaymark::ImportEngine {

// What a destination's file system does to names. exFAT and FAT fold letter case and refuse
// characters that every Linux file system takes; a name they refuse fails only at the final
// rename, after the copy was verified, so the plan must know before anything is copied.
struct NameRules {
    bool foldsCase = false;
    // Refuses "*:<>?\| and control characters, and takes only valid UTF-8.
    bool fatCharacters = false;
};

// Found by trying: a hidden probe file is made, looked up in the other case, and a name with
// "?" is tried. A folder that takes no file at all reports no limits.
NameRules probeNameRules(const std::filesystem::path& folder);

// True when one path component can be created under `rules`.
bool fitsName(std::string_view name, const NameRules& rules);

// `name` with every character or byte that `rules` refuse replaced by "_".
std::string fittedName(std::string_view name, const NameRules& rules);

// Throws QuayError::invalidLocation, naming the files, for a plan that a destination with
// `rules` cannot hold: names it refuses, names it folds into one, or names that take the place
// of the import folder's own documents or history folder in another letter case.
void checkPlanNames(const std::vector<SourceFile>& plan, const NameRules& rules);

} // namespace quaymark::ImportEngine
