// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaymark::platform {

// One line of /proc/self/mountinfo, with the octal escapes of its fields undone.
struct MountEntry {
    // The kernel's number for this mount: a new one for every mount, also of the same device
    // at the same place.
    std::uint64_t mountId = 0;
    unsigned major = 0;
    unsigned minor = 0;
    std::filesystem::path root;       // the folder of the file system that is mounted here
    std::filesystem::path mountPoint; // absolute
    std::string fileSystem;           // "ext4", "fuse.sshfs", ...
    std::string source;               // "/dev/sdb1", "server:/export", ...
};

// Undoes the kernel's \ooo escapes ("\040" for a space); anything else stays as it is.
std::string unescapeMountField(std::string_view field);

// Malformed lines are skipped.
std::vector<MountEntry> parseMountInfo(std::string_view text);

// Empty when the file cannot be read.
std::vector<MountEntry> readMountTable(const std::filesystem::path& mountInfo);

// The mount that holds `path` (absolute, symbolic links resolved): the longest mount point
// containing it, the latest one where a mount point was mounted over.
std::optional<MountEntry> mountContaining(const std::vector<MountEntry>& mounts,
                                          const std::filesystem::path& path);

// True when `path` is `folder` or lies below it, compared component by component.
bool isWithin(const std::filesystem::path& path, const std::filesystem::path& folder);

} // namespace quaymark::platform
