// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string_view>

namespace quaymark {

// Replaces `target` so that either its old or its complete new content is on disk, never a
// mix, and leaves no temporary file behind on failure.
void durableWrite(std::string_view bytes, const std::filesystem::path& target);

// Removes the temporary files that durable writes in `folder` left behind when the process was
// stopped mid-write: regular files of the exact temporary name only, in `folder` itself. Only
// call while holding the folder's lock.
void removeLeftoverStatusFiles(const std::filesystem::path& folder);

// True for the exact name of a durable write's temporary file.
bool isStatusFileName(std::string_view name);

// Flushes a folder's entries (a rename is durable only after this); failures are ignored.
void syncFolder(const std::filesystem::path& folder) noexcept;

} // namespace quaymark
