// SPDX-License-Identifier: GPL-3.0-or-later
#include "CameraMetadata.h"

#include "CameraName.h"
#include "CameraText.h"
#include "QuickTimeCameraReader.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace quaymark {

namespace {

constexpr std::array<std::u32string_view, 3> probedExtensions = {U".mov", U".mp4", U".m4v"};

constexpr std::array<std::string_view, 2> modelIdentifiers = {"com.apple.quicktime.model", "model"};
constexpr std::array<std::string_view, 2> makeIdentifiers = {"com.apple.quicktime.make", "make"};

std::atomic<std::size_t> runningLoads{0};

bool isProbed(const std::filesystem::path& clip) {
    const std::u32string extension =
        CameraText::lowercased(CameraText::decodeRepairing(clip.extension().string()));
    for (std::u32string_view probed : probedExtensions) {
        if (extension == probed) {
            return true;
        }
    }
    return false;
}

bool isOneOf(std::string_view identifier, const std::array<std::string_view, 2>& identifiers) {
    return identifier == identifiers[0] || identifier == identifiers[1];
}

std::optional<std::string> nameFromItems(const std::vector<MetadataItem>& items) {
    std::optional<std::string> make;
    std::optional<std::string> model;
    for (const MetadataItem& item : items) {
        if (isOneOf(item.identifier, modelIdentifiers)) {
            model = item.stringValue;
        } else if (isOneOf(item.identifier, makeIdentifiers)) {
            make = item.stringValue;
        }
    }
    return CameraName::normalized(make, model);
}

// What one fallback load shares between its own thread and the detection waiting for it. The
// loading thread owns a reference, so it may outlive the wait (a read blocked on a dead device)
// and still touch only memory of its own.
struct FallbackLoad {
    std::mutex mutex; // guards everything below
    std::condition_variable_any changed;
    bool finished = false;
    bool cancelled = false;
    std::shared_ptr<MetadataAsset> asset;
    std::optional<std::string> name;

    void cancel() {
        std::shared_ptr<MetadataAsset> current;
        {
            std::lock_guard lock(mutex);
            cancelled = true;
            current = asset;
        }
        if (current) {
            current->cancelLoading();
        }
    }
};

void runFallback(const std::shared_ptr<FallbackLoad>& load,
                 const std::shared_ptr<MetadataFramework>& framework,
                 const std::filesystem::path& clip) {
    std::optional<std::string> name;
    try {
        if (std::shared_ptr<MetadataAsset> asset = framework->open(clip)) {
            bool cancelNow = false;
            {
                std::lock_guard lock(load->mutex);
                load->asset = asset;
                cancelNow = load->cancelled;
            }
            if (cancelNow) {
                asset->cancelLoading();
            }
            if (std::optional<std::vector<MetadataItem>> items = asset->loadMetadata()) {
                name = nameFromItems(*items);
            }
        }
    } catch (...) {
        name.reset(); // errors of the fallback never reach the user
    }
    {
        std::lock_guard lock(load->mutex);
        load->asset.reset();
        load->name = std::move(name);
        load->finished = true;
    }
    load->changed.notify_all();
}

// The fallback reader, bounded by the time limit.
std::optional<std::string> detectWithFallback(const std::filesystem::path& clip,
                                              const std::stop_token& stop,
                                              const std::shared_ptr<MetadataFramework>& framework) {
    if (runningLoads.fetch_add(1) >= CameraMetadata::runningFallbackLimit) {
        // Too many loads are blocked already: do not pile up another thread.
        runningLoads.fetch_sub(1);
        return std::nullopt;
    }
    const auto deadline = std::chrono::steady_clock::now() + CameraMetadata::fallbackTimeLimit;
    std::shared_ptr<FallbackLoad> load;
    try {
        load = std::make_shared<FallbackLoad>();
        std::thread([load, framework, clip] {
            runFallback(load, framework, clip);
            runningLoads.fetch_sub(1);
        }).detach();
    } catch (const std::exception&) {
        runningLoads.fetch_sub(1);
        return std::nullopt;
    }

    std::optional<std::string> name;
    {
        std::unique_lock lock(load->mutex);
        // Ends on the result, at the deadline, or when the caller's task is cancelled.
        load->changed.wait_until(lock, stop, deadline, [&] { return load->finished; });
        if (load->finished) {
            name = std::move(load->name);
        }
    }
    // Timer expired or result taken: cancel the asset's loading either way. A thread still in
    // a blocking call is left to end by itself; it owns everything it uses.
    load->cancel();
    return name;
}

} // namespace

std::size_t runningFallbackLoads() {
    return runningLoads.load();
}

std::optional<std::string> CameraMetadata::detect(const std::vector<std::filesystem::path>& clips,
                                                  std::stop_token stop) {
    return detect(clips, std::move(stop), libavMetadataFramework());
}

std::optional<std::string> CameraMetadata::detect(const std::vector<std::filesystem::path>& clips,
                                                  std::stop_token stop,
                                                  std::shared_ptr<MetadataFramework> fallback) {
    std::size_t probed = 0;
    for (const std::filesystem::path& clip : clips) {
        if (probed == probedClipLimit) {
            break;
        }
        if (!isProbed(clip)) {
            continue;
        }
        ++probed;
        if (stop.stop_requested()) {
            return std::nullopt;
        }
        try {
            if (std::optional<std::string> name = QuickTimeCameraReader::detect(clip)) {
                return name;
            }
        } catch (...) {
            // A clip the reader cannot parse names no camera.
        }
        if (fallback) {
            try {
                if (std::optional<std::string> name = detectWithFallback(clip, stop, fallback)) {
                    return name;
                }
            } catch (...) {
                // Detection never fails; a clip it cannot read names no camera.
            }
        }
    }
    return std::nullopt;
}

} // namespace quaymark
