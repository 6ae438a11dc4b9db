// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetadataFramework.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

#include <sys/stat.h>

#include <atomic>
#include <mutex>

namespace quaymark {

namespace {

struct DictionaryFree {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};
using Dictionary = std::unique_ptr<AVDictionary, DictionaryFree>;

// Owns a context that avformat_open_input has not taken yet.
struct ContextFree {
    void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};
using NewContext = std::unique_ptr<AVFormatContext, ContextFree>;

// Owns an opened input.
struct InputClose {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using OpenInput = std::unique_ptr<AVFormatContext, InputClose>;

class LibavAsset final : public MetadataAsset {
public:
    explicit LibavAsset(std::filesystem::path file)
        : file_(std::move(file)) {}

    std::optional<std::vector<MetadataItem>> loadMetadata() override {
        if (cancelled_.load()) {
            return std::nullopt;
        }
        // Only regular files, and never through a link: the QuickTime reader refuses those too,
        // and a FIFO or device node named like a clip would block the open.
        struct stat status {};
        if (::lstat(file_.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
            return std::nullopt;
        }
        NewContext fresh{avformat_alloc_context()};
        if (!fresh) {
            return std::nullopt;
        }
        fresh->interrupt_callback.callback = &LibavAsset::interrupted;
        fresh->interrupt_callback.opaque = this;

        // Cards are written by anyone: read with the QuickTime/MPEG-4 demuxer only (no probing
        // into playlist formats) and through the local file protocol only.
        const AVInputFormat* format = av_find_input_format("mov");
        AVDictionary* rawOptions = nullptr;
        av_dict_set(&rawOptions, "protocol_whitelist", "file", 0);
        Dictionary options{rawOptions};
        const std::string url = "file:" + std::filesystem::absolute(file_).string();

        AVFormatContext* context = fresh.release();
        rawOptions = options.release();
        const int result = avformat_open_input(&context, url.c_str(), format, &rawOptions);
        options.reset(rawOptions); // the options it did not use
        if (result < 0) {
            return std::nullopt; // avformat_open_input has freed the context
        }
        const OpenInput input{context};
        if (cancelled_.load()) {
            return std::nullopt;
        }

        std::vector<MetadataItem> items;
        const AVDictionaryEntry* entry = nullptr;
        while ((entry = av_dict_get(input->metadata, "", entry, AV_DICT_IGNORE_SUFFIX)) !=
               nullptr) {
            items.push_back({entry->key, entry->value == nullptr
                                             ? std::nullopt
                                             : std::optional<std::string>(entry->value)});
        }
        return items;
    }

    void cancelLoading() noexcept override { cancelled_.store(true); }

private:
    // libavformat calls this during blocking operations; 1 aborts them with AVERROR_EXIT.
    static int interrupted(void* opaque) {
        return static_cast<LibavAsset*>(opaque)->cancelled_.load() ? 1 : 0;
    }

    std::filesystem::path file_;
    std::atomic<bool> cancelled_{false};
};

class LibavFramework final : public MetadataFramework {
public:
    std::shared_ptr<MetadataAsset> open(const std::filesystem::path& file) override {
        return std::make_shared<LibavAsset>(file);
    }
};

} // namespace

std::shared_ptr<MetadataFramework> libavMetadataFramework() {
    // A clip the fallback cannot read simply names no camera; libavformat's own complaints
    // about it would only clutter the command's output.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    return std::make_shared<LibavFramework>();
}

} // namespace quaymark
