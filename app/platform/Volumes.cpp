// SPDX-License-Identifier: GPL-3.0-or-later
#include "Volumes.h"

#include "DeviceProbe.h"
#include "MountTable.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <string_view>

namespace quaymark::platform {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 14> networkTypes{
    "nfs", "nfs4", "cifs",  "smb3",  "smbfs",     "sshfs",  "9p",
    "afs", "ceph", "ncpfs", "davfs", "glusterfs", "lustre", "gfs2"};

constexpr std::array<std::string_view, 29> pseudoTypes{
    "proc",    "sysfs",       "devtmpfs",        "devpts",      "tmpfs",
    "ramfs",   "cgroup",      "cgroup2",         "securityfs",  "debugfs",
    "tracefs", "configfs",    "fusectl",         "mqueue",      "hugetlbfs",
    "bpf",     "pstore",      "autofs",          "binfmt_misc", "efivarfs",
    "nsfs",    "rpc_pipefs",  "selinuxfs",       "overlay",     "squashfs",
    "nfsd",    "fuse.portal", "fuse.gvfsd-fuse", "fuse.lxcfs"};

// Folders that only the system mounts into.
constexpr std::array<std::string_view, 7> systemFolders{"/proc", "/sys",  "/dev",    "/run",
                                                        "/boot", "/snap", "/var/lib"};

template <size_t N>
bool contains(const std::array<std::string_view, N>& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// "fuse.sshfs" is sshfs.
std::string_view baseType(std::string_view type) {
    return type.starts_with("fuse.") ? type.substr(5) : type;
}

bool isNetwork(std::string_view type) {
    return contains(networkTypes, type) || contains(networkTypes, baseType(type));
}

bool isHidden(const MountEntry& mount) {
    if (contains(pseudoTypes, mount.fileSystem)) {
        return true;
    }
    // A bind mount of a folder shows the same volume a second time.
    if (mount.root != "/") {
        return true;
    }
    for (std::string_view folder : systemFolders) {
        if (isWithin(mount.mountPoint, fs::path(folder)) &&
            !isWithin(mount.mountPoint, "/run/media")) {
            return true;
        }
    }
    return false;
}

std::string readLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::optional<dev_t> blockDeviceNumber(const fs::path& node) {
    struct stat info {};
    if (!node.is_absolute() || ::stat(node.c_str(), &info) != 0 || !S_ISBLK(info.st_mode)) {
        return std::nullopt;
    }
    return info.st_rdev;
}

// The block device behind a mount: its own number, or for FUSE block mounts (exfat-fuse)
// and btrfs, whose numbers are anonymous, the device its source names.
std::optional<dev_t> backingDevice(const MountEntry& mount) {
    if (mount.major != 0) {
        return makedev(mount.major, mount.minor);
    }
    return blockDeviceNumber(mount.source);
}

struct BlockDevice {
    std::string kernelName; // "sdb1", "loop3"
    fs::path disk;          // the whole disk's sysfs folder
    bool loop = false;
    bool removableFlag = false;
    bool externalBus = false;
};

// Reads the device from sysfs: /sys/dev/block/M:m leads to its folder under /sys/devices,
// whose ancestors tell the bus it hangs on.
std::optional<BlockDevice> describeBlockDevice(const fs::path& sysfs, dev_t number) {
    std::error_code error;
    const fs::path link = sysfs / "dev" / "block" /
                          (std::to_string(major(number)) + ":" + std::to_string(minor(number)));
    const fs::path folder = fs::canonical(link, error);
    if (error) {
        return std::nullopt;
    }
    BlockDevice device;
    device.kernelName = folder.filename().string();
    const fs::path disk = fs::exists(folder / "partition", error) ? folder.parent_path() : folder;
    device.disk = disk;
    device.loop = disk.filename().string().starts_with("loop");
    device.removableFlag = readLine(disk / "removable") == "1";
    const fs::path devices = fs::canonical(sysfs / "devices", error);
    for (fs::path at = disk; !error && isWithin(at, devices) && at != devices;
         at = at.parent_path()) {
        const fs::path subsystem = fs::read_symlink(at / "subsystem", error);
        const std::string bus = error ? std::string() : subsystem.filename().string();
        error.clear();
        if (bus == "usb" || bus == "mmc" || bus == "memstick") {
            device.externalBus = true;
            break;
        }
    }
    return device;
}

std::optional<std::string> uuidFromLinks(const fs::path& byUuid, const std::string& kernelName) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(byUuid, error)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(entry.path(), linkError);
        if (!linkError && target.filename() == kernelName) {
            return entry.path().filename().string();
        }
    }
    return std::nullopt;
}

fs::path probeNode(const MountEntry& mount, dev_t number, const std::string& kernelName) {
    if (blockDeviceNumber(mount.source) == number) {
        return mount.source;
    }
    const fs::path node = fs::path("/dev") / kernelName;
    return blockDeviceNumber(node) == number ? node : fs::path();
}

VolumeInfo describe(const MountEntry& mount, const SystemPaths& system) {
    VolumeInfo volume;
    volume.mountPoint = mount.mountPoint;
    volume.mountId = mount.mountId;
    volume.fileSystem = mount.fileSystem;
    volume.device = mount.source;
    volume.hidden = isHidden(mount);
    volume.local = !isNetwork(mount.fileSystem);
    std::optional<std::string> label;
    if (!volume.local) {
        volume.internal = false;
        volume.removable = false;
        volume.ejectable = false;
    } else if (const auto number = backingDevice(mount)) {
        if (const auto device = describeBlockDevice(system.sysfs, *number)) {
            // A disk image counts as ejectable and external, like a card.
            const bool external = device->loop || device->removableFlag || device->externalBus;
            volume.internal = !external;
            volume.removable = device->removableFlag;
            volume.ejectable = external;
            volume.diskFolder = device->disk;
            volume.uuid = uuidFromLinks(system.byUuid, device->kernelName);
            if (const fs::path node = probeNode(mount, *number, device->kernelName);
                !node.empty()) {
                if (const auto labels = probeDevice(node)) {
                    label = labels->label;
                    if (!volume.uuid) {
                        volume.uuid = labels->uuid;
                    }
                }
            }
        }
    }
    if (volume.uuid) {
        volume.uuid = upper(*volume.uuid);
    }
    volume.name = label ? *label : mount.mountPoint.filename().string();
    if (volume.name.empty()) {
        volume.name = mount.mountPoint.string();
    }
    return volume;
}

} // namespace

std::optional<VolumeInfo> volumeOf(const fs::path& path, const SystemPaths& system) {
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    if (error) {
        return std::nullopt;
    }
    const auto mount = mountContaining(readMountTable(system.mountInfo), real);
    if (!mount) {
        return std::nullopt;
    }
    return describe(*mount, system);
}

std::optional<std::string> volumeUuid(const fs::path& path, const SystemPaths& system) {
    const auto volume = volumeOf(path, system);
    return volume ? volume->uuid : std::nullopt;
}

std::vector<VolumeInfo> mountedVolumes(const SystemPaths& system, bool includeHidden) {
    return volumesOf(readMountTable(system.mountInfo), system, includeHidden);
}

std::vector<VolumeInfo> volumesOf(const std::vector<MountEntry>& mounts, const SystemPaths& system,
                                  bool includeHidden) {
    std::vector<VolumeInfo> volumes;
    for (size_t i = 0; i < mounts.size(); ++i) {
        const auto covered = std::any_of(
            mounts.begin() + static_cast<std::ptrdiff_t>(i) + 1, mounts.end(),
            [&](const MountEntry& later) { return later.mountPoint == mounts[i].mountPoint; });
        if (covered || (!includeHidden && isHidden(mounts[i]))) {
            continue;
        }
        volumes.push_back(describe(mounts[i], system));
    }
    return volumes;
}

} // namespace quaymark::platform
