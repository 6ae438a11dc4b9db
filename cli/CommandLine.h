// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quaymark::cli {

enum class CommandKind { help, version, import, resume, verify, camera };

struct CommandLine {
    CommandKind kind = CommandKind::help;
    std::string source;
    std::vector<std::string> destinations;
    // The import folder of `resume` and `verify`.
    std::string folder;
    std::vector<std::string> paths;
    std::string rule = "{date}/{camera}_{time}";
    std::int64_t parallel = 2;
    bool allFiles = false;
    bool writeMhl = true;
    std::optional<std::string> camera;
    bool json = false;
};

// A command line that cannot be run; what() says why.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

CommandLine parseCommandLine(const std::vector<std::string>& arguments);

extern const char* const usageText;

} // namespace quaymark::cli
