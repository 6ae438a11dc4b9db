#include "DownloadTools.h"

#include "app/shell/AppDiagnostics.h"

#include <sys/stat.h>
#include <unistd.h>

namespace quaymark {

DownloadTools::DownloadTools(std::vector<std::filesystem::path> folders)
    : folders_(std::move(folders)) {}

std::filesystem::path DownloadTools::toolsFolder() {
    const QString data = AppDiagnostics::directory();
    if (data.isEmpty())
        return {};
    return std::filesystem::path(data.toStdString()) / "Download Tools";
}

DownloadTools DownloadTools::standard() {
    std::vector<std::filesystem::path> folders;
    if (auto tools = toolsFolder(); !tools.empty())
        folders.push_back(std::move(tools));
    folders.emplace_back("/usr/local/bin");
    folders.emplace_back("/usr/bin");
    return DownloadTools(std::move(folders));
}

std::optional<std::filesystem::path> DownloadTools::tool(std::string_view name) const {
    for (const std::filesystem::path& folder : folders_) {
        const std::filesystem::path candidate = folder / name;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

bool DownloadTools::ready() const {
    for (std::string_view name : {"yt-dlp", "ffmpeg", "ffprobe", "deno"}) {
        if (!tool(name))
            return false;
    }
    return true;
}

} // namespace quaymark
