// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveIdentity.h"

#include <sys/statvfs.h>

#include <fstream>

namespace fs = std::filesystem;

namespace quaymark::platform {

namespace {

// The first line without surrounding blanks (sysfs pads model names); nothing when empty.
std::optional<std::string> firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::nullopt;
    }
    return line.substr(first, line.find_last_not_of(" \t") + 1 - first);
}

std::optional<std::string> firstOf(const fs::path& disk, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (auto value = firstLine(disk / name)) {
            return value;
        }
    }
    return std::nullopt;
}

// udev's properties of the disk ("E:ID_SERIAL_SHORT=..."), where udev runs.
void addUdevProperties(DriveIdentity& drive, const fs::path& disk, const SystemPaths& system) {
    const auto number = firstLine(disk / "dev");
    if (!number) {
        return;
    }
    std::ifstream in(system.udevData / ("b" + *number));
    std::string line;
    const auto take = [&line](const std::string& key, std::optional<std::string>& into) {
        const std::string prefix = "E:" + key + "=";
        if (!into && line.starts_with(prefix) && line.size() > prefix.size()) {
            into = line.substr(prefix.size());
        }
    };
    while (std::getline(in, line)) {
        take("ID_SERIAL_SHORT", drive.serial);
        take("ID_WWN", drive.wwn);
        take("ID_MODEL", drive.model);
        take("ID_PATH", drive.devicePath);
    }
}

} // namespace

DriveIdentity driveIdentity(const VolumeInfo& volume, const SystemPaths& system) {
    DriveIdentity drive;
    if (volume.diskFolder.empty()) {
        return drive;
    }
    drive.wwn = firstOf(volume.diskFolder, {"wwid", "device/wwid"});
    drive.serial = firstOf(volume.diskFolder, {"device/serial", "serial"});
    drive.model = firstOf(volume.diskFolder, {"device/model"});
    addUdevProperties(drive, volume.diskFolder, system);
    return drive;
}

catalog::DestinationIdentity destinationIdentity(const fs::path& folder, const fs::path& target,
                                                 const SystemPaths& system) {
    catalog::DestinationIdentity destination;
    const auto volume = volumeOf(folder, system);
    const fs::path named = target.filename().empty() ? target.parent_path() : target;
    if (!volume) {
        destination.label = named.filename().string();
        destination.driveKey = "folder:" + folder.string();
        return destination;
    }
    const DriveIdentity drive = driveIdentity(*volume, system);
    destination.volumeUuid = volume->uuid;
    destination.label = volume->internal.value_or(true) && !named.filename().empty()
                            ? named.filename().string()
                            : volume->name;
    destination.serial = drive.serial;
    destination.wwn = drive.wwn;
    destination.model = drive.model;
    destination.driveKey = drive.wwn ? "wwn:" + *drive.wwn
                           : drive.serial
                               ? "serial:" + *drive.serial + "/" + drive.model.value_or("")
                           : volume->uuid ? "volume:" + *volume->uuid
                                          : "mount:" + volume->mountPoint.string();
    return destination;
}

std::string driveDescription(const fs::path& path, const SystemPaths& system) {
    // A folder on a disk came from that folder, not from the disk's reader.
    const auto volume = volumeOf(path, system);
    std::error_code error;
    if (!volume || !fs::equivalent(volume->mountPoint, path, error)) {
        return {};
    }
    const DriveIdentity drive = driveIdentity(*volume, system);
    std::string text = drive.model.value_or("");
    if (drive.serial) {
        text += (text.empty() ? "serial " : ", serial ") + *drive.serial;
    }
    return text;
}

catalog::CardIdentity cardIdentity(const fs::path& source,
                                   const std::vector<catalog::CardFile>& files,
                                   const SystemPaths& system) {
    catalog::CardIdentity card;
    card.listing = catalog::listingDigest(files);
    card.fileCount = static_cast<std::int64_t>(files.size());
    // A folder on a disk is a card of its own, known by its path, not by the disk it is on.
    const auto volume = volumeOf(source, system);
    std::error_code error;
    if (!volume || !fs::equivalent(volume->mountPoint, source, error)) {
        return card;
    }
    card.volumeUuid = volume->uuid;
    card.label = volume->name;
    struct statvfs space {};
    if (::statvfs(volume->mountPoint.c_str(), &space) == 0) {
        card.capacity =
            static_cast<std::int64_t>(space.f_blocks) * static_cast<std::int64_t>(space.f_frsize);
    }
    const DriveIdentity drive = driveIdentity(*volume, system);
    card.reader = drive.devicePath ? drive.devicePath : drive.serial;
    return card;
}

} // namespace quaymark::platform
