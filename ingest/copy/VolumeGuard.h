// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace quaymark {

// Notices a drive that was unplugged, or swapped for another, under a running import.
struct VolumeGuard {
    std::string path;
    dev_t device = 0;

    static VolumeGuard make(const std::filesystem::path& folder);
    void check() const;
};

} // namespace quaymark
