// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace quaymark {

// Moves the entry `from` of an open folder to `to` in the same folder and fails when `to`
// exists: an existing file is never replaced. `folder` may be AT_FDCWD. `shownFolder` names the
// folder in errors, which are std::filesystem::filesystem_error with the platform's text after
// `what`.
void moveWithoutReplacing(int folder, const std::string& from, const std::string& to,
                          const std::filesystem::path& shownFolder,
                          const char* what = "Cannot move the verified copy into place");

} // namespace quaymark
