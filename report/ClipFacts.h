// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace quaymark::report {

// What a clip's container says of it, for the handover report.
struct ClipFacts {
    std::optional<double> seconds;
    int width = 0;
    int height = 0;
    std::string codec;   // "h264", "prores", ...
    std::string profile; // "High", "422 HQ", ...; empty when none
    // The video's frame rate as a fraction; 0/0 when there is no video.
    int rateNumerator = 0;
    int rateDenominator = 0;
    int audioChannels = 0;
    int sampleRate = 0;
    // "01:02:03:04", or "01:02:03;04" for drop-frame; the end is the first frame after the clip.
    std::optional<std::string> timecodeIn;
    std::optional<std::string> timecodeOut;
    std::optional<std::string> reel;

    // "25", "29.97", "23.976"; empty without a rate.
    std::string frameRateText() const;
};

// Reads the facts of `clip` with libavformat: only a regular file, never through a link, only
// the container formats of cameras, and for at most `limit`. Nothing when it is not such a
// file or cannot be read in time.
std::optional<ClipFacts> readClipFacts(const std::filesystem::path& clip,
                                       std::chrono::milliseconds limit = std::chrono::seconds(5));

} // namespace quaymark::report
