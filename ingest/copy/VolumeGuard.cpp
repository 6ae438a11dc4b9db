// SPDX-License-Identifier: GPL-3.0-or-later
#include "VolumeGuard.h"

#include "ingest/records/QuayError.h"

#include <sys/stat.h>

namespace quaymark {

VolumeGuard VolumeGuard::make(const std::filesystem::path& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        throw QuayError::unavailable("Drive or folder unavailable: " + folder.string());
    }
    return {folder.string(), info.st_dev};
}

void VolumeGuard::check() const {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || info.st_dev != device) {
        throw QuayError::unavailable("Drive disconnected or changed: " + path +
                                     ". Reconnect it and use Retry / recover.");
    }
}

} // namespace quaymark
