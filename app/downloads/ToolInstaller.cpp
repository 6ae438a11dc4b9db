// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToolInstaller.h"

#include "DownloadError.h"
#include "DownloadProcess.h"
#include "DownloadTools.h"
#include "HttpsClient.h"
#include "ReleaseService.h"
#include "ToolSources.h"
#include "ZipExtract.h"
#include "ingest/copy/DurableWrite.h"
#include "ingest/copy/UniqueFd.h"
#include "ingest/records/Uuid.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace quaymark {

namespace {

namespace fs = std::filesystem;

// Everything is fetched, checked and tried out in here first; it goes whatever happens.
class StagingFolder {
public:
    explicit StagingFolder(const fs::path& toolsFolder)
        : path_(toolsFolder / ("setup-" + makeUuid())) {
        fs::create_directory(path_);
    }
    ~StagingFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

std::system_error fileError(int code, const std::string& what) {
    return std::system_error(code, std::generic_category(), what);
}

DownloadError badServerResponse(long status, const std::string& url) {
    return DownloadError(NetworkError::badServerResponse, "The server answered with HTTP status " +
                                                              std::to_string(status) + " for " +
                                                              url + ".");
}

// A complete download at `target`, or nothing there.
void download(const HttpsClient& client, const std::string& url, const fs::path& target) {
    const fs::path partial = target.string() + ".part";
    UniqueFd fd(retryOnInterrupt(
        [&] { return ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644); }));
    if (!fd) {
        throw fileError(errno, "Could not create " + partial.string());
    }
    const long status = client.download(url, fd.get());
    if (status != 200) {
        throw badServerResponse(status, url);
    }
    if (::fsync(fd.get()) != 0) {
        throw fileError(errno, "Could not save " + partial.string());
    }
    fd.reset();
    if (::rename(partial.c_str(), target.c_str()) != 0) {
        throw fileError(errno, "Could not move " + partial.string());
    }
}

// Unpacks in a folder of its own, so that no archive can replace another tool's staged file,
// then takes `binary` from its top level.
void unpack(const fs::path& archive, const std::string& binary, const StagingFolder& staging) {
    const fs::path folder = staging / (binary + ".unpacked");
    fs::create_directory(folder);
    extractZip(archive, folder);
    struct stat info {};
    if (::lstat((folder / binary).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        throw DownloadError(ToolsError::badArchive, archive.filename().string() +
                                                        " does not hold " + binary +
                                                        " at its top level.");
    }
    if (::rename((folder / binary).c_str(), (staging / binary).c_str()) != 0) {
        throw fileError(errno, "Could not move " + binary + " out of its archive");
    }
}

void installFromRelease(const ReleaseService& service, const HttpsClient& client,
                        const ReleaseTool& tool, const StagingFolder& staging) {
    const std::string repository(tool.repository), assetName(tool.asset), binary(tool.name);
    const Release release = service.latest(repository);
    const ReleaseAsset& asset = ReleaseService::asset(release, assetName, repository);
    if (!service.onWebHost(asset.downloadUrl)) {
        throw DownloadError(NetworkError::badURL, "The download address of " + assetName +
                                                      " is not on the release " +
                                                      "service: " + asset.downloadUrl);
    }
    const fs::path file = staging / assetName;
    download(client, asset.downloadUrl, file);
    service.verify(release, asset, file);
    if (assetName.ends_with(".zip")) {
        unpack(file, binary, staging);
    } else if (::rename(file.c_str(), (staging / binary).c_str()) != 0) {
        throw fileError(errno, "Could not rename " + assetName);
    }
}

void installMedia(const HttpsClient& client, const std::string& site, const MediaTool& tool,
                  const StagingFolder& staging) {
    const fs::path file = staging / tool.archive;
    download(client, site + tool.archive, file);
    if (fileSha256(file) != tool.digest) {
        throw DownloadError(ToolsError::checksumMismatch,
                            "Media helper checksum mismatch; installation stopped.");
    }
    unpack(file, tool.name, staging);
}

// Runs the staged tool once; a tool that cannot even report its version is never installed,
// and one that never answers does not hold the installation up.
void smokeTest(const fs::path& path, const std::string& name, std::chrono::milliseconds limit,
               std::stop_token stop) {
    ProcessControl control;
    const std::stop_callback cancel(stop, [&] { control.cancel(); });
    std::atomic<bool> timedOut = false;
    std::jthread watchdog([&](std::stop_token finished) {
        std::mutex lock; // guards the wait on `wake`
        std::condition_variable_any wake;
        std::unique_lock guard(lock);
        if (!wake.wait_for(guard, finished, limit, [] { return false; }) &&
            !finished.stop_requested()) {
            timedOut = true;
            control.cancel();
        }
    });
    const std::string argument = name == "ffmpeg" || name == "ffprobe" ? "-version" : "--version";
    try {
        DownloadProcess::run(path.string(), {argument}, control, [](const std::string&) {});
    } catch (const DownloadCancelled&) {
        if (timedOut && !stop.stop_requested()) {
            throw DownloadError(ToolsError::trialTimedOut, name + " did not answer " + argument +
                                                               " in time; installation stopped.");
        }
        throw;
    }
}

void syncFile(const fs::path& path) {
    UniqueFd fd(retryOnInterrupt([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }));
    if (!fd || ::fsync(fd.get()) != 0) {
        throw fileError(errno, "Could not save " + path.string());
    }
}

// One installation runs at a time; a staging folder found now was left by one that never
// ended (a crash, a power cut).
void removeStaleStaging(const fs::path& toolsFolder) {
    for (const fs::directory_entry& entry : fs::directory_iterator(toolsFolder)) {
        std::error_code ignored;
        if (entry.path().filename().string().starts_with("setup-") && entry.is_directory(ignored) &&
            !entry.is_symlink(ignored)) {
            fs::remove_all(entry.path(), ignored);
        }
    }
}

void checkStop(const std::stop_token& stop) {
    if (stop.stop_requested()) {
        throw DownloadCancelled();
    }
}

} // namespace

ToolInstaller::ToolInstaller(DownloadTools lookup, ToolInstallConfig config)
    : lookup_(std::move(lookup))
    , config_(std::move(config)) {}

fs::path ToolInstaller::preparedToolsFolder() const {
    const fs::path toolsFolder =
        config_.toolsFolder.empty() ? DownloadTools::toolsFolder() : config_.toolsFolder;
    if (toolsFolder.empty()) {
        throw std::runtime_error("There is no data folder to install the download tools in.");
    }
    fs::create_directories(toolsFolder);
    // libarchive refuses to write through a symbolic link anywhere on the path.
    return fs::canonical(toolsFolder);
}

// A media helper the system provides is used as it is; without it and without a pinned
// archive nothing can complete, so nothing is fetched.
std::vector<const MediaTool*> ToolInstaller::mediaToFetch(const fs::path& toolsFolder) const {
    std::vector<fs::path> systemFolders;
    for (const fs::path& folder : lookup_.folders()) {
        std::error_code ignored;
        if (fs::weakly_canonical(folder, ignored) != toolsFolder) {
            systemFolders.push_back(folder);
        }
    }
    const DownloadTools system(std::move(systemFolders));
    std::vector<const MediaTool*> fetchedMedia;
    for (const MediaTool& tool : config_.media) {
        if (system.tool(tool.name)) {
            continue;
        }
        if (tool.digest.empty()) {
            throw DownloadError(ToolsError::mediaHelperMissing,
                                "FFmpeg is not installed. Install it with your package manager, "
                                "then try again.");
        }
        fetchedMedia.push_back(&tool);
    }
    return fetchedMedia;
}

void ToolInstaller::install(const Status& status, std::stop_token stop) const {
    const auto report = [&](const std::string& text) {
        if (status) {
            status(text);
        }
    };
    const fs::path toolsFolder = preparedToolsFolder();
    const std::vector<const MediaTool*> fetchedMedia = mediaToFetch(toolsFolder);
    const ToolInstallConfig& config = config_;

    removeStaleStaging(toolsFolder);
    const StagingFolder staging(toolsFolder);
    const HttpsClient client(config.endpoints.trustedCertificates, stop);
    const ReleaseService service(client, config.endpoints);
    std::vector<std::string> staged;
    for (const ReleaseTool& tool : releaseTools()) {
        checkStop(stop);
        report(std::string(tool.status));
        installFromRelease(service, client, tool, staging);
        staged.emplace_back(tool.name);
    }
    for (const MediaTool& tool : config.media) {
        checkStop(stop);
        if (std::find(fetchedMedia.begin(), fetchedMedia.end(), &tool) == fetchedMedia.end()) {
            report("Using the system's " + tool.name);
            continue;
        }
        report("Downloading " + tool.name + " for full-quality video and audio…");
        installMedia(client, config.endpoints.mediaSite, tool, staging);
        staged.push_back(tool.name);
    }

    for (const std::string& name : staged) {
        const fs::path path = staging / name;
        if (::chmod(path.c_str(), 0755) != 0) {
            throw fileError(errno, "Could not make " + name + " executable");
        }
        smokeTest(path, name, config.trialLimit, stop);
        syncFile(path);
    }
    checkStop(stop);
    // Same folder, so each rename is atomic and replaces the tool installed before.
    for (const std::string& name : staged) {
        if (::rename((staging / name).c_str(), (toolsFolder / name).c_str()) != 0) {
            throw fileError(errno, "Could not install " + name + " in " + toolsFolder.string());
        }
    }
    syncFolder(toolsFolder);
}

} // namespace quaymark
