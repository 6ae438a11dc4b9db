// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MetadataFramework.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

// One camera name from a list of clips.
namespace quaymark::CameraMetadata {

inline constexpr std::size_t probedClipLimit = 8;
inline constexpr std::chrono::seconds fallbackTimeLimit{2};
// Fallback loads that may run at once in the process, counting those abandoned at their time
// limit and still blocked (a dead device); past it a clip gets no fallback load.
inline constexpr std::size_t runningFallbackLimit = 16;

// The camera name of the first of at most 8 "mov"/"mp4"/"m4v" clips (extension in any case,
// in list order) that the QuickTime reader, or else the libavformat fallback within 2 seconds,
// can name. Never throws; nothing when no clip names a camera or when `stop` is requested
// (observed before each clip and while waiting for a fallback). Blocks the calling thread.
std::optional<std::string> detect(const std::vector<std::filesystem::path>& clips,
                                  std::stop_token stop);

// The same with another fallback reader (tests inject fakes).
std::optional<std::string> detect(const std::vector<std::filesystem::path>& clips,
                                  std::stop_token stop,
                                  std::shared_ptr<MetadataFramework> fallback);

} // namespace quaymark::CameraMetadata
