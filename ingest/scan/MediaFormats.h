// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <functional>
#include <set>
#include <string>

namespace quaymark::MediaFormats {

// The lower-case extensions that count as video clips.
const std::set<std::string, std::less<>>& videoExtensions();

// True when the path's extension, lower-cased, is a video extension. A name without an
// extension (".mov" alone is a hidden name, not an extension) is not video.
bool isVideo(const std::filesystem::path& path);

} // namespace quaymark::MediaFormats
