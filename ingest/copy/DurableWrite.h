#pragma once

#include <filesystem>
#include <string_view>

namespace quaymark {

// Replaces `target` so that either its old or its complete new content is on disk, never a
// mix, and leaves no temporary file behind on failure.
void durableWrite(std::string_view bytes, const std::filesystem::path& target);

// Flushes a folder's entries (a rename is durable only after this); failures are ignored.
void syncFolder(const std::filesystem::path& folder) noexcept;

} // namespace quaymark
