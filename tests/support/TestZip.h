// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quaymark::test {

struct ZipEntry {
    enum class Kind { File, Folder, Link };
    std::string name;
    // A file's bytes, or a link's target.
    std::string content;
    Kind kind = Kind::File;
};

// Writes a zip archive holding `entries` as given, unsafe names included.
void writeZip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries);
// The same archive's bytes.
std::string zipBytes(const std::vector<ZipEntry>& entries);

} // namespace quaymark::test
