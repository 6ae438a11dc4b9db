// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportFolder.h"

#include "FolderNaming.h"
#include "ingest/records/QuayError.h"
#include "ingest/scan/ResolvedPath.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

namespace quaymark {

namespace {

constexpr int lastNumber = 1000;

// True when the folder was made, false when something exists at its path already.
bool createNewFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0777) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    throw QuayError::io("Create import folder", folder.string(), errno);
}

std::string numbered(const std::string& name, int number) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%03d", number);
    return name + suffix;
}

} // namespace

std::filesystem::path ImportEngine::makeSession(const std::filesystem::path& target,
                                                const std::string& source,
                                                const ImportOptions& options, Timestamp date) {
    const auto pieces =
        FolderNaming::components(options.folderRule, source, date, options.cameraName);

    // Each intermediate folder is resolved before the next is made inside it, so a link placed
    // where a date folder belongs is caught, and the result has no links left in it.
    std::filesystem::path parent = target;
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
        const auto folder = parent / pieces[i];
        std::filesystem::create_directories(folder);
        parent = std::filesystem::canonical(folder);
        if (!isInside(parent, target)) {
            throw QuayError::invalidLocation("A folder points outside the destination.");
        }
    }

    const std::string& name = pieces.back();
    if (createNewFolder(parent / name)) {
        return parent / name;
    }
    for (int number = 2; number <= lastNumber; ++number) {
        auto folder = parent / numbered(name, number);
        if (createNewFolder(folder)) {
            return folder;
        }
    }
    throw QuayError::unavailable("Too many imports with the same name. Add {time} to the rule.");
}

} // namespace quaymark
