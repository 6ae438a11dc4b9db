// SPDX-License-Identifier: GPL-3.0-or-later
#include "VolumeIdentity.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <system_error>

namespace quaymark {

std::optional<std::string> volumeIdentifier(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    // udev names every probed block device by its file-system UUID here.
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/disk/by-uuid", error)) {
        struct stat device {};
        if (::stat(entry.path().c_str(), &device) == 0 && S_ISBLK(device.st_mode) &&
            device.st_rdev == info.st_dev) {
            std::string uuid = entry.path().filename().string();
            std::transform(uuid.begin(), uuid.end(), uuid.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            return uuid;
        }
    }
    return std::nullopt;
}

} // namespace quaymark
