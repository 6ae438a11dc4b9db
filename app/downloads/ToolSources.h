// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace quaymark {

// Where the installer fetches from: the real services unless tests point it elsewhere.
struct ToolEndpoints {
    // The release service's REST API; "/repos/<repository>/releases/latest" is appended.
    std::string releaseApi = "https://api.github.com";
    // The only host a release's download addresses may name.
    std::string releaseWebHost = "github.com";
    // The media archives' download site; each archive's name is appended.
    std::string mediaSite = defaultMediaSite();
    // A PEM file trusted instead of the system's certificates; empty for the system's.
    std::filesystem::path trustedCertificates;

    static std::string defaultMediaSite();
};

// A helper taken from the latest release of its project.
struct ReleaseTool {
    std::string_view name;
    std::string_view repository;
    std::string_view asset; // built for this processor
    std::string_view status;
};

// A media helper from the fixed download site, pinned by the SHA-256 of its archive.
struct MediaTool {
    std::string name;
    std::string archive;
    // 64 lower-case hex digits; empty when this build pins none.
    std::string digest;
};

struct ToolInstallConfig {
    ToolEndpoints endpoints;
    std::array<MediaTool, 2> media = defaultMediaTools();
    // Where the tools go; empty for DownloadTools::toolsFolder().
    std::filesystem::path toolsFolder;
    // How long a tool may take to report its version.
    std::chrono::milliseconds trialLimit = std::chrono::seconds(60);

    // ffmpeg and ffprobe with this build's archives and digests.
    static std::array<MediaTool, 2> defaultMediaTools();
};

// yt-dlp, then deno.
const std::array<ReleaseTool, 2>& releaseTools();

} // namespace quaymark
