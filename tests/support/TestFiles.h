// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quaymark::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& relative) const {
        return path_ / relative;
    }

private:
    std::filesystem::path path_;
};

// Creates missing parent folders.
void writeFile(const std::filesystem::path& path, std::string_view content);
std::string readFile(const std::filesystem::path& path);
// Deterministic pseudo-random bytes, so every test file has distinct content.
std::string patternBytes(size_t length, unsigned seed = 1);
// Every entry below `root` (files and folders), as sorted "/"-joined relative paths.
std::vector<std::string> listTree(const std::filesystem::path& root);

} // namespace quaymark::test
