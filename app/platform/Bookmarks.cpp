// SPDX-License-Identifier: GPL-3.0-or-later
#include "Bookmarks.h"

#include "MountTable.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace quaymark::platform {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr int bookmarkVersion = 1;

// An absolute path without "." or ".." steps, so a stored record cannot lead outside the
// volume it names.
bool isPlainAbsolute(const fs::path& path) {
    return path.is_absolute() && std::none_of(path.begin(), path.end(), [](const fs::path& part) {
               return part == "." || part == "..";
           });
}

std::optional<std::string> textField(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

// `base` followed by where `path` lies below `from`.
fs::path rebase(const fs::path& path, const fs::path& from, const fs::path& base) {
    const fs::path relative = path.lexically_relative(from);
    return relative == "." ? base : (base / relative).lexically_normal();
}

bool isDirectory(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

} // namespace

std::optional<std::string> createBookmark(const fs::path& folder, const SystemPaths& system) {
    std::error_code error;
    const fs::path real = fs::canonical(folder, error);
    if (error || !isDirectory(real)) {
        return std::nullopt;
    }
    json record = {{"version", bookmarkVersion}, {"path", real.string()}};
    const auto mount = mountContaining(readMountTable(system.mountInfo), real);
    if (mount) {
        if (const auto volume = volumeOf(mount->mountPoint, system); volume && volume->uuid) {
            record["volumeUUID"] = *volume->uuid;
            record["pathInVolume"] = rebase(real, mount->mountPoint, mount->root).string();
        }
    }
    try {
        return record.dump();
    } catch (const json::exception&) {
        return std::nullopt; // a path that is not UTF-8
    }
}

std::optional<BookmarkRecord> decodeBookmark(std::string_view data) {
    const json object = json::parse(data, nullptr, false);
    if (!object.is_object()) {
        return std::nullopt;
    }
    const auto version = object.find("version");
    const auto path = textField(object, "path");
    if (version == object.end() || *version != bookmarkVersion || !path ||
        !isPlainAbsolute(*path)) {
        return std::nullopt;
    }
    BookmarkRecord record{*path, textField(object, "volumeUUID"), {}};
    if (record.volumeUuid) {
        const auto inVolume = textField(object, "pathInVolume");
        if (!inVolume || !isPlainAbsolute(*inVolume)) {
            return std::nullopt;
        }
        record.pathInVolume = *inVolume;
    }
    return record;
}

bool namesVolume(std::string_view data) {
    const auto record = decodeBookmark(data);
    return record && record->volumeUuid;
}

std::optional<fs::path> resolveBookmark(std::string_view data, const SystemPaths& system) {
    const auto record = decodeBookmark(data);
    if (!record) {
        return std::nullopt;
    }
    if (!record->volumeUuid) {
        return isDirectory(record->path) ? std::optional<fs::path>(record->path) : std::nullopt;
    }
    // The stored path first: the drive usually comes back where it was.
    if (const auto volume = volumeOf(record->path, system);
        volume && volume->uuid == record->volumeUuid && isDirectory(record->path)) {
        return record->path;
    }
    for (const auto& mount : readMountTable(system.mountInfo)) {
        if (!isWithin(record->pathInVolume, mount.root)) {
            continue;
        }
        const fs::path candidate = rebase(record->pathInVolume, mount.root, mount.mountPoint);
        if (!isDirectory(candidate)) {
            continue;
        }
        // Checked on the candidate itself: a mount over it or a link out of it is another volume.
        if (const auto volume = volumeOf(candidate, system);
            volume && volume->uuid == record->volumeUuid) {
            return candidate;
        }
    }
    return std::nullopt;
}

} // namespace quaymark::platform
