// SPDX-License-Identifier: GPL-3.0-or-later
#include "CameraCommand.h"

#include "ingest/camera/CameraMetadata.h"
#include "ingest/scan/SourceScan.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace quaymark::cli {

namespace fs = std::filesystem;

namespace {

constexpr const char* unknownCamera = "Unknown Camera";

std::vector<fs::path> clipsOf(const std::string& path) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        return ImportEngine::videoFiles(path);
    }
    return {fs::path(path)};
}

} // namespace

std::string detectCamera(const std::string& path, InterruptWatch& interrupts) {
    std::mutex mutex; // guards name and done
    std::optional<std::string> name;
    bool done = false;
    std::jthread detection([&](std::stop_token stop) {
        std::optional<std::string> found;
        try {
            found = CameraMetadata::detect(clipsOf(path), stop);
        } catch (const std::exception&) {
            // An unreadable source is reported by the import itself.
        }
        std::lock_guard lock(mutex);
        name = std::move(found);
        done = true;
    });
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (done) {
                break;
            }
        }
        if (interrupts.wait(std::chrono::milliseconds(100))) {
            detection.request_stop();
        }
    }
    detection.join();
    return name.value_or(unknownCamera);
}

int runCamera(const CommandLine& command, Reporter& reporter) {
    InterruptWatch interrupts;
    for (const auto& path : command.paths) {
        std::error_code error;
        if (!fs::exists(path, error)) {
            reporter.error("No such file or folder: " + path);
            return 1;
        }
        const std::string name = detectCamera(path, interrupts);
        if (interrupts.interrupted()) {
            return 130;
        }
        if (reporter.json()) {
            reporter.event({{"event", "camera"}, {"path", path}, {"camera", name}});
        } else {
            reporter.say(command.paths.size() == 1 ? name : path + ": " + name);
        }
    }
    return 0;
}

} // namespace quaymark::cli
