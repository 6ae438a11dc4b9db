// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quaymark {

// The upper-case UUID of the file system that holds `path`, where the system names one;
// nothing for network and pseudo file systems or when it cannot be read.
std::optional<std::string> volumeIdentifier(const std::filesystem::path& path);

} // namespace quaymark
