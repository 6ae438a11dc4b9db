// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/ImportRecords.h"

#include <optional>
#include <string>
#include <vector>

namespace quaymark::FolderNaming {

// Expands a folder rule such as "{date}/{camera}_{time}" into the folder names of an import,
// the outermost first. Tokens: {date} (yyyy-MM-dd), {time} (HHmmss), {year}, {month}, {day}
// in the machine's local time zone, {camera} and {source}. Throws `invalidLocation` for a rule
// that could leave the destination or make a hidden, empty or unusable folder name.
std::vector<std::string> components(const std::string& rule, const std::string& source,
                                    Timestamp date, const std::optional<std::string>& camera);

} // namespace quaymark::FolderNaming
