// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace quaymark {

// Finds the helper executables the download side needs.
class DownloadTools {
public:
    // In this order wherever all four are handled.
    static constexpr std::array<std::string_view, 4> names{"yt-dlp", "deno", "ffmpeg", "ffprobe"};

    // The folders searched, first match wins.
    explicit DownloadTools(std::vector<std::filesystem::path> folders);
    // The tools folder, then the package manager's folders.
    static DownloadTools standard();
    // "Download Tools" in the data folder; empty when there is no data folder.
    static std::filesystem::path toolsFolder();

    // The first candidate that is an executable file.
    std::optional<std::filesystem::path> tool(std::string_view name) const;
    // Every one of the four tools is found.
    bool ready() const;

    // The options of the download command line that older yt-dlp releases lack.
    static constexpr std::array<std::string_view, 3> requiredOptions{
        "--js-runtimes", "--progress-delta", "--progress-template"};

    struct Check {
        // Every tool found, and the yt-dlp among them accepts the command line.
        bool ready = false;
        // The yt-dlp found, when it is too old for the command line.
        std::optional<std::filesystem::path> outdated;
        // The tools not found, in the order of `names`.
        std::vector<std::string_view> missing;
    };
    // Blocking the first time a yt-dlp executable is seen: asks its --help.
    Check check() const;
    // Whether `ytdlp --help` lists every required option; asked once per path and
    // modification time for the whole process.
    static bool acceptsCommandLine(const std::filesystem::path& ytdlp);

    // The folders searched, in order.
    const std::vector<std::filesystem::path>& folders() const { return folders_; }

private:
    std::vector<std::filesystem::path> folders_;
};

} // namespace quaymark
