// SPDX-License-Identifier: GPL-3.0-or-later
#include "ResolvedPath.h"

namespace quaymark {

std::filesystem::path ImportEngine::resolvedPath(const std::filesystem::path& path) {
    auto resolved = std::filesystem::weakly_canonical(path);
    // A missing folder written with a trailing "/" keeps it; "/x/" and "/x" are one folder.
    return resolved.has_filename() ? resolved : resolved.parent_path();
}

bool ImportEngine::isInside(const std::filesystem::path& path,
                            const std::filesystem::path& folder) {
    const std::string& folderText = folder.native();
    const std::string prefix = folderText == "/" ? folderText : folderText + "/";
    return path.native().starts_with(prefix);
}

} // namespace quaymark
