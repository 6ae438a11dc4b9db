// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToolSources.h"

namespace quaymark {

std::string ToolEndpoints::defaultMediaSite() {
    return QUAYMARK_MEDIA_SITE;
}

std::array<MediaTool, 2> ToolInstallConfig::defaultMediaTools() {
    return {MediaTool{"ffmpeg", QUAYMARK_FFMPEG_ARCHIVE, QUAYMARK_FFMPEG_SHA256},
            MediaTool{"ffprobe", QUAYMARK_FFPROBE_ARCHIVE, QUAYMARK_FFPROBE_SHA256}};
}

const std::array<ReleaseTool, 2>& releaseTools() {
#if defined(__aarch64__)
    constexpr std::string_view ytdlp = "yt-dlp_linux_aarch64";
    constexpr std::string_view deno = "deno-aarch64-unknown-linux-gnu.zip";
#elif defined(__x86_64__)
    constexpr std::string_view ytdlp = "yt-dlp_linux";
    constexpr std::string_view deno = "deno-x86_64-unknown-linux-gnu.zip";
#else
#error "The download tools are published for x86_64 and aarch64 only"
#endif
    static constexpr std::array<ReleaseTool, 2> tools{
        ReleaseTool{"yt-dlp", "yt-dlp/yt-dlp", ytdlp, "Downloading verified video downloader…"},
        ReleaseTool{"deno", "denoland/deno", deno, "Downloading verified JavaScript runtime…"}};
    return tools;
}

} // namespace quaymark
