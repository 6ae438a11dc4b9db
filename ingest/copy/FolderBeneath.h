// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UniqueFd.h"

#include <filesystem>
#include <functional>
#include <set>
#include <string>

namespace quaymark {

// Folders inside an import folder, reached without ever following a symbolic link: a link
// put where a sub-folder was must neither receive copies nor vouch for copies elsewhere.
// `relative` is "/"-separated below `root` ("" is the root itself).

// The folder's descriptor; an empty one when a folder on the way is missing and `create` is
// false. With `create`, missing folders are made. A link on the way throws
// QuayError::invalidLocation naming its relative path; other failures are filesystem errors.
UniqueFd openFolderBeneath(const std::filesystem::path& root, const std::string& relative,
                           bool create);

// A file's place inside an import folder: its open parent folder and its own name.
struct PlaceBeneath {
    UniqueFd folder; // empty when the parent folder does not exist
    std::string name;
};
PlaceBeneath placeBeneath(const std::filesystem::path& root, const std::string& relative,
                          bool create);

// Flushes each folder's entries, so that names renamed or made in them survive a power cut.
// Any failure is thrown: what depends on these names must not be written without them.
// `synced` (optional) hears of each folder after its flush.
void syncFoldersBeneath(const std::filesystem::path& root, const std::set<std::string>& folders,
                        const std::function<void(const std::filesystem::path&)>& synced = {});

} // namespace quaymark
