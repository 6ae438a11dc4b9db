// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/CancellationFlag.h"

#include <chrono>
#include <filesystem>
#include <string>

namespace quaymark::report {

struct Thumbnail {
    enum class Kind {
        image,       // `jpeg` holds the preview
        unsupported, // the installed FFmpeg has no decoder for the clip
        failed,      // the helper could not read it, crashed or ran out of time
    };
    Kind kind = Kind::failed;
    std::string jpeg;
};

// Makes previews with the helper program, one clip at a time, each in its own process group
// and under a time limit.
class Thumbnailer {
public:
    explicit Thumbnailer(std::filesystem::path helper,
                         std::chrono::milliseconds limit = std::chrono::seconds(20));

    // The helper installed beside the running program; QUAYMARK_THUMBNAILER names another.
    static std::filesystem::path installed();

    bool available() const;
    // Throws QuayError::cancelled when asked to stop; the helper is killed first.
    Thumbnail of(const std::filesystem::path& clip, const CancellationFlag& cancellation) const;

private:
    std::filesystem::path helper_;
    std::chrono::milliseconds limit_;
};

} // namespace quaymark::report
