// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MhlDocuments.h"

#include <string>
#include <vector>

namespace quaymark::AscMhl {

// The content and structure hashes of the folder a history describes ("." first) and of every
// folder below it that a listed file lies in, as ASC MHL tools compute them when they walk the
// folder. Files and folders an ignore pattern names are left out: those tools never see them.
std::vector<DirectoryHash> directoryHashes(const std::vector<HashEntry>& files,
                                           const std::vector<std::string>& ignorePatterns);

} // namespace quaymark::AscMhl
