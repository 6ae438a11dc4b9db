// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quaymark::platform {

struct DeviceLabels {
    std::optional<std::string> uuid; // as the file system stores it, not yet upper-cased
    std::optional<std::string> label;
};

// Reads the file-system superblock of a block device; nothing when it cannot be opened or
// holds no recognisable file system.
std::optional<DeviceLabels> probeDevice(const std::filesystem::path& device);

} // namespace quaymark::platform
