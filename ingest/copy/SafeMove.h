#pragma once

#include <filesystem>

namespace quaymark {

// Moves `from` to `to` and fails when `to` exists: an existing file is never replaced. Errors
// are std::filesystem::filesystem_error with the platform's text.
void moveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace quaymark
