// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DownloadTools.h"
#include "ToolSources.h"

#include <functional>
#include <stop_token>
#include <string>

namespace quaymark {

// Fetches yt-dlp and deno from their latest releases and the media helpers the lookup does not
// find outside the tools folder, checks each against its SHA-256, runs each once, and only then
// renames them into the tools folder. Everything before happens in a staging folder that is
// always removed, so a failed installation leaves the tools installed before untouched.
class ToolInstaller {
public:
    // `status` gets a short text at each stage, on the installing thread.
    using Status = std::function<void(const std::string&)>;

    ToolInstaller(DownloadTools lookup, ToolInstallConfig config);

    // Blocking. Throws DownloadError, DownloadCancelled once `stop` is requested, or the file
    // system's error.
    void install(const Status& status, std::stop_token stop = {}) const;

private:
    // The tools folder, created, with links resolved.
    std::filesystem::path preparedToolsFolder() const;
    // The media helpers to fetch: those the system does not provide.
    std::vector<const MediaTool*> mediaToFetch(const std::filesystem::path& toolsFolder) const;

    DownloadTools lookup_;
    ToolInstallConfig config_;
};

} // namespace quaymark
