// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadTools.h"

#include "DownloadProcess.h"
#include "app/core/AppDiagnostics.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <tuple>

namespace quaymark {

DownloadTools::DownloadTools(std::vector<std::filesystem::path> folders)
    : folders_(std::move(folders)) {}

std::filesystem::path DownloadTools::toolsFolder() {
    const QString data = AppDiagnostics::directory();
    if (data.isEmpty()) {
        return {};
    }
    return std::filesystem::path(data.toStdString()) / "Download Tools";
}

DownloadTools DownloadTools::standard() {
    std::vector<std::filesystem::path> folders;
    if (auto tools = toolsFolder(); !tools.empty()) {
        folders.push_back(std::move(tools));
    }
    folders.emplace_back("/usr/local/bin");
    folders.emplace_back("/usr/bin");
    return DownloadTools(std::move(folders));
}

std::optional<std::filesystem::path> DownloadTools::tool(std::string_view name) const {
    for (const std::filesystem::path& folder : folders_) {
        const std::filesystem::path candidate = folder / name;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

bool DownloadTools::ready() const {
    for (std::string_view name : {"yt-dlp", "ffmpeg", "ffprobe", "deno"}) {
        if (!tool(name)) {
            return false;
        }
    }
    return true;
}

DownloadTools::Check DownloadTools::check() const {
    Check result;
    for (const std::string_view name : names) {
        if (!tool(name)) {
            result.missing.push_back(name);
        }
    }
    // Asked even while another tool is missing: the user is told everything at once.
    if (const auto ytdlp = tool("yt-dlp"); ytdlp && !acceptsCommandLine(*ytdlp)) {
        result.outdated = ytdlp;
    }
    result.ready = result.missing.empty() && !result.outdated;
    return result;
}

bool DownloadTools::acceptsCommandLine(const std::filesystem::path& ytdlp) {
    struct stat info {};
    if (::stat(ytdlp.c_str(), &info) != 0) {
        return false;
    }
    using Key = std::tuple<std::string, long long, long long>;
    static std::mutex lock; // guards answers
    static std::map<Key, bool> answers;
    const Key key{ytdlp.string(), info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
    {
        const std::lock_guard guard(lock);
        if (const auto found = answers.find(key); found != answers.end()) {
            return found->second;
        }
    }
    std::set<std::string> listed;
    bool answered = true;
    try {
        ProcessControl control;
        DownloadProcess::run(ytdlp.string(), {"--help"}, control, [&](const std::string& line) {
            // "  -v, --verbose   ..." gives the tokens "-v" and "--verbose".
            std::istringstream words(line);
            for (std::string word; words >> word;) {
                if (word.ends_with(',')) {
                    word.pop_back();
                }
                listed.insert(word);
            }
        });
    } catch (const std::exception&) {
        answered = false; // a yt-dlp that cannot show its help cannot run the download either
    }
    const bool accepted = answered && std::all_of(requiredOptions.begin(), requiredOptions.end(),
                                                  [&](std::string_view option) {
                                                      return listed.contains(std::string(option));
                                                  });
    const std::lock_guard guard(lock);
    answers[key] = accepted;
    return accepted;
}

} // namespace quaymark
