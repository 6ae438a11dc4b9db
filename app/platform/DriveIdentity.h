// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Volumes.h"
#include "ingest/catalog/Catalog.h"

#include <filesystem>
#include <optional>
#include <string>

namespace quaymark::platform {

// The physical drive beneath a volume, as sysfs and udev's database describe it.
struct DriveIdentity {
    std::optional<std::string> serial;
    std::optional<std::string> wwn;
    std::optional<std::string> model;
    // udev's ID_PATH: the port the drive hangs on, the same for every card a reader takes.
    std::optional<std::string> devicePath;
};

DriveIdentity driveIdentity(const VolumeInfo& volume, const SystemPaths& system = {});

// "Model, serial S" of the drive whose volume `path` is the root of, as far as the system says;
// empty for a folder inside a volume, or when nothing is known.
std::string driveDescription(const std::filesystem::path& path, const SystemPaths& system = {});

// What the catalog keeps of the destination holding `folder`. Two folders on one disk get the
// same drive key: the WWN or serial, else the volume UUID, else the mount. The destination is
// named by its volume, or on the computer's own disks by `target`, the folder imported into.
catalog::DestinationIdentity destinationIdentity(const std::filesystem::path& folder,
                                                 const std::filesystem::path& target,
                                                 const SystemPaths& system = {});

// The card at `source` as the catalog knows it, with the listing of `files`. Only a volume's
// root is known by its volume; a folder is known by its path.
catalog::CardIdentity cardIdentity(const std::filesystem::path& source,
                                   const std::vector<catalog::CardFile>& files,
                                   const SystemPaths& system = {});

} // namespace quaymark::platform
