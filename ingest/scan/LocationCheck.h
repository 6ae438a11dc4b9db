// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace quaymark::ImportEngine {

// Refuses a source and a target that are the same folder or lie one inside the other
// (invalidLocation), then a source or target that is not an existing folder (unavailable,
// the source first). Both are compared in their resolved form.
void validateLocations(const std::filesystem::path& source, const std::filesystem::path& target);

} // namespace quaymark::ImportEngine
