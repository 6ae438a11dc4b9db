// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/ImportRecords.h"

#include <filesystem>
#include <string>

namespace quaymark::ImportEngine {

// Creates the new import folder that the options' folder rule names below `target` (already
// resolved) and returns its resolved path. Intermediate folders may exist already but must
// resolve inside `target`; the last folder is always new: when its name is taken, the first free
// of name_002 ... name_999, name_1000 is used.
std::filesystem::path makeSession(const std::filesystem::path& target, const std::string& source,
                                  const ImportOptions& options, Timestamp date);

} // namespace quaymark::ImportEngine
