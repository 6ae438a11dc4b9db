#pragma once

#include <array>
#include <filesystem>
#include <optional>
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

private:
    std::vector<std::filesystem::path> folders_;
};

} // namespace quaymark
