// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quaymark::cli {

enum class CommandKind { help, version, import, resume, verify, camera, catalog, report };

enum class CatalogAction { scan, find, where, card };

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
    // The handover report in every verified import folder.
    bool writeReport = true;
    std::optional<std::string> camera;
    bool json = false;
    CatalogAction catalogAction = CatalogAction::scan;
    // Import nothing of a card whose import is verified, and only the new files of one that
    // gained some since.
    bool skipImported = false;
    // The catalog file instead of the one in the data folder.
    std::optional<std::string> catalogFile;
    // Verified copies on distinct drives a card needs before it is safe to format.
    std::int64_t copies = 2;
    // The report's heading: production, shooting day, operator.
    std::string production;
    std::string shootingDay;
    std::string operatorName;
    // Where `report` writes one report of all its folders; each folder gets its own without.
    std::optional<std::string> out;
};

// A command line that cannot be run; what() says why.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

CommandLine parseCommandLine(const std::vector<std::string>& arguments);

extern const char* const usageText;

} // namespace quaymark::cli
