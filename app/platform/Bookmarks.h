// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Volumes.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quaymark::platform {

// What a bookmark remembers of a folder.
struct BookmarkRecord {
    std::filesystem::path path; // absolute, symbolic links resolved
    std::optional<std::string> volumeUuid;
    // The folder's place inside its file system, absolute from the file system's root;
    // only with a volume UUID.
    std::filesystem::path pathInVolume;
};

// The bookmark bytes of an existing folder; nothing when the folder cannot be read or its
// path cannot be stored.
std::optional<std::string> createBookmark(const std::filesystem::path& folder,
                                          const SystemPaths& system = {});

// Nothing for bytes that are not a well-formed bookmark.
std::optional<BookmarkRecord> decodeBookmark(std::string_view data);

// Whether the bookmark names the volume its folder was on: such a folder is only where it was
// while that volume is mounted (an unplugged drive leaves its empty mount point behind).
bool namesVolume(std::string_view data);

// Where the bookmarked folder is today: on the volume with the stored UUID wherever it is
// mounted, else (without a UUID) at the stored path. Nothing when it cannot be found; the
// caller then uses the stored path.
std::optional<std::filesystem::path> resolveBookmark(std::string_view data,
                                                     const SystemPaths& system = {});

// Linux grants access by permissions alone, so access always starts and stopping is a no-op;
// they exist so that callers keep one shape on every system.
inline bool startAccessingSecurityScope(const std::filesystem::path&) {
    return true;
}
inline void stopAccessingSecurityScope(const std::filesystem::path&) {}

} // namespace quaymark::platform
