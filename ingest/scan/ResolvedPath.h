// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace quaymark::ImportEngine {

// The standardised absolute form of `path` with its symbolic links resolved, without a
// trailing "/". Missing trailing components are kept as written.
std::filesystem::path resolvedPath(const std::filesystem::path& path);

// True when `path` lies strictly below `folder`, comparing their texts: `path` begins with
// `folder` + "/" (or with "/" when `folder` is the root). Both should already be resolved.
bool isInside(const std::filesystem::path& path, const std::filesystem::path& folder);

} // namespace quaymark::ImportEngine
