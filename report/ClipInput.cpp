// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClipInput.h"

extern "C" {
#include <libavutil/dict.h>
}

#include <sys/stat.h>

#include <string>

namespace quaymark::report {

OpenInput openClip(const std::filesystem::path& clip, ClipDeadline& deadline) {
    struct stat status {};
    if (::lstat(clip.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return nullptr;
    }
    AVFormatContext* context = avformat_alloc_context();
    if (!context) {
        return nullptr;
    }
    context->interrupt_callback.callback = &ClipDeadline::passed;
    context->interrupt_callback.opaque = &deadline;
    // Cards are written by anyone: camera containers only, and the local file protocol only.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", "mov,mp4,m4a,3gp,3g2,mj2,mxf,matroska,webm,avi", 0);
    const std::string url = "file:" + std::filesystem::absolute(clip).string();
    const int opened = avformat_open_input(&context, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        return nullptr; // the context is freed already
    }
    OpenInput input{context};
    if (avformat_find_stream_info(context, nullptr) < 0) {
        return nullptr;
    }
    return input;
}

} // namespace quaymark::report
