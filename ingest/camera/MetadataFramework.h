// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The fallback camera reader: a container-metadata library behind three
// operations (open an asset, load its metadata items, cancel loading).
// Production uses FFmpeg's libavformat; tests inject fakes.
namespace quaymark {

struct MetadataItem {
    std::string identifier;
    // Absent when the item has no string value.
    std::optional<std::string> stringValue;
};

// One opened asset. Used by one loading thread plus any thread that cancels.
class MetadataAsset {
public:
    virtual ~MetadataAsset() = default;
    // Blocks until the container's metadata items are loaded, in container order; nothing when
    // loading (of the items or of any string value) fails or was cancelled.
    virtual std::optional<std::vector<MetadataItem>> loadMetadata() = 0;
    // Cancels all pending and later loads of this asset. Any thread, any time, repeatable.
    virtual void cancelLoading() noexcept = 0;
};

class MetadataFramework {
public:
    virtual ~MetadataFramework() = default;
    // An asset for a file location, or nullptr when none can be made. May block.
    virtual std::shared_ptr<MetadataAsset> open(const std::filesystem::path& file) = 0;
};

// FFmpeg's libavformat (mov demuxer, "file" protocol only). Its items are the container tags,
// so the identifiers are libavformat's names: "com.apple.quicktime.model", "model",
// "com.apple.quicktime.make", "make". Cancellation works through libavformat's interrupt
// callback; a read blocked inside the kernel is not interruptible, which is why detection runs
// each fallback on a thread of its own (see CameraMetadata::detect).
std::shared_ptr<MetadataFramework> libavMetadataFramework();

// Fallback threads still running, including ones detection stopped waiting for after the time
// limit (they end as soon as their blocked call returns). For tests and diagnostics.
std::size_t runningFallbackLoads();

} // namespace quaymark
