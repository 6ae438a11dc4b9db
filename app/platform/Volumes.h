// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MountTable.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quaymark::platform {

// Where the system describes its mounts and devices; tests point these at fake trees.
struct SystemPaths {
    std::filesystem::path mountInfo = "/proc/self/mountinfo";
    std::filesystem::path sysfs = "/sys";
    std::filesystem::path byUuid = "/dev/disk/by-uuid";
    std::filesystem::path udevData = "/run/udev/data";
};

struct VolumeInfo {
    std::filesystem::path mountPoint;
    std::uint64_t mountId = 0; // the mount table's number for this mount
    std::string fileSystem;
    std::string device; // the mount's source as the kernel names it
    // The file-system label, else the mount point's last component.
    std::string name;
    // Upper case; none for network and pseudo file systems and unreadable devices.
    std::optional<std::string> uuid;
    // Absent where the system does not say (a file system without a block device).
    std::optional<bool> internal;
    std::optional<bool> removable;
    std::optional<bool> ejectable;
    bool local = true;
    // The sysfs folder of the whole disk beneath, where the volume has one.
    std::filesystem::path diskFolder;
    // Pseudo and system mounts, left out of the drive list.
    bool hidden = false;
};

// The volume holding `path`; nothing when the path does not exist or no mount holds it.
std::optional<VolumeInfo> volumeOf(const std::filesystem::path& path,
                                   const SystemPaths& system = {});

// The volume UUID string of the file system holding `path`, where it has one.
std::optional<std::string> volumeUuid(const std::filesystem::path& path,
                                      const SystemPaths& system = {});

// Every mounted volume in mount order, without hidden ones (unless asked) and without mounts
// covered by a later mount at the same place.
std::vector<VolumeInfo> mountedVolumes(const SystemPaths& system = {}, bool includeHidden = false);

// The same for a mount table already read.
std::vector<VolumeInfo> volumesOf(const std::vector<MountEntry>& mounts,
                                  const SystemPaths& system = {}, bool includeHidden = false);

} // namespace quaymark::platform
