// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace quaymark {

// Unpacks a zip archive into `folder`, which must exist and be free of symbolic links.
// Refuses, before writing it, any entry that would land outside `folder`: absolute paths,
// ".." components, links pointing out, and anything through a symbolic link. Throws
// DownloadError ("Quaymark.Tools", badArchive) for an unsafe or unreadable archive.
void extractZip(const std::filesystem::path& archive, const std::filesystem::path& folder);

} // namespace quaymark
