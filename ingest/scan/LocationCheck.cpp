// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocationCheck.h"

#include "ResolvedPath.h"
#include "ingest/records/QuayError.h"

namespace quaymark {

namespace {

void requireFolder(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
        throw QuayError::unavailable("Folder unavailable: " + path.string() +
                                     ". Connect the drive or mount the network share first.");
    }
}

} // namespace

void ImportEngine::validateLocations(const std::filesystem::path& source,
                                     const std::filesystem::path& target) {
    const auto s = resolvedPath(source);
    const auto t = resolvedPath(target);
    if (s.native() == t.native() || isInside(t, s) || isInside(s, t)) {
        throw QuayError::invalidLocation(
            "Choose separate source and destination folders. Neither can contain the other.");
    }
    requireFolder(s);
    requireFolder(t);
}

} // namespace quaymark
