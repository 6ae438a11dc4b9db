// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <chrono>
#include <filesystem>
#include <memory>

namespace quaymark::report {

struct InputClose {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using OpenInput = std::unique_ptr<AVFormatContext, InputClose>;

// Stops libavformat's blocking reads once `at` has passed.
struct ClipDeadline {
    std::chrono::steady_clock::time_point at;
    static int passed(void* opaque) {
        return std::chrono::steady_clock::now() >= static_cast<ClipDeadline*>(opaque)->at ? 1 : 0;
    }
};

// Opens a clip of a card for reading: only a regular file, never through a link, only the
// container formats of cameras and the local file protocol. Nothing when it cannot be read.
// `deadline` must outlive the input.
OpenInput openClip(const std::filesystem::path& clip, ClipDeadline& deadline);

} // namespace quaymark::report
