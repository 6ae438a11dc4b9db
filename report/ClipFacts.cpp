// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClipFacts.h"

#include "ClipInput.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/timecode.h>
}

#include <array>
#include <cmath>
#include <cstdio>
#include <mutex>

namespace quaymark::report {

namespace {

std::optional<std::string> tag(const AVDictionary* metadata, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(metadata, key, nullptr, 0);
    return entry && entry->value && *entry->value ? std::optional<std::string>(entry->value)
                                                  : std::nullopt;
}

// The video stream's timecode, else the container's, else a timecode track's.
std::optional<std::string> timecodeTag(const AVFormatContext& input, const AVStream* video) {
    if (video) {
        if (auto found = tag(video->metadata, "timecode")) {
            return found;
        }
    }
    if (auto found = tag(input.metadata, "timecode")) {
        return found;
    }
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        if (auto found = tag(input.streams[i]->metadata, "timecode")) {
            return found;
        }
    }
    return std::nullopt;
}

void addTimecode(ClipFacts& facts, const AVFormatContext& input, const AVStream* video) {
    const auto text = timecodeTag(input, video);
    if (!text || !video || facts.rateNumerator <= 0 || facts.rateDenominator <= 0) {
        return;
    }
    AVTimecode timecode{};
    const AVRational rate{facts.rateNumerator, facts.rateDenominator};
    if (av_timecode_init_from_string(&timecode, rate, text->c_str(), nullptr) < 0) {
        return;
    }
    std::array<char, AV_TIMECODE_STR_SIZE> buffer{};
    facts.timecodeIn = av_timecode_make_string(&timecode, buffer.data(), 0);
    std::int64_t frames = video->nb_frames;
    if (frames <= 0 && facts.seconds) {
        frames = std::llround(*facts.seconds * av_q2d(rate));
    }
    if (frames > 0 && frames <= INT32_MAX) {
        facts.timecodeOut =
            av_timecode_make_string(&timecode, buffer.data(), static_cast<int>(frames));
    }
}

} // namespace

std::string ClipFacts::frameRateText() const {
    if (rateNumerator <= 0 || rateDenominator <= 0) {
        return {};
    }
    const double rate = static_cast<double>(rateNumerator) / rateDenominator;
    std::array<char, 16> text{};
    if (std::abs(rate - std::round(rate)) < 0.0005) {
        std::snprintf(text.data(), text.size(), "%.0f", rate);
    } else {
        // 23.976 and 29.97 as editors write them: three decimals, without trailing zeros.
        std::snprintf(text.data(), text.size(), "%.3f", std::floor(rate * 1000) / 1000);
        std::string trimmed = text.data();
        while (trimmed.back() == '0') {
            trimmed.pop_back();
        }
        return trimmed;
    }
    return text.data();
}

std::optional<ClipFacts> readClipFacts(const std::filesystem::path& clip,
                                       std::chrono::milliseconds limit) {
    // A damaged clip is an answer here, not news for the terminal.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    ClipDeadline deadline{std::chrono::steady_clock::now() + limit};
    const OpenInput input = openClip(clip, deadline);
    if (!input) {
        return std::nullopt;
    }
    ClipFacts facts;
    if (input->duration > 0) {
        facts.seconds = static_cast<double>(input->duration) / AV_TIME_BASE;
    }
    const AVStream* video = nullptr;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        const AVCodecParameters* codec = stream->codecpar;
        if (codec->codec_type == AVMEDIA_TYPE_VIDEO && !video &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            video = stream;
            facts.width = codec->width;
            facts.height = codec->height;
            facts.codec = avcodec_get_name(codec->codec_id);
            const char* profile = avcodec_profile_name(codec->codec_id, codec->profile);
            facts.profile = profile ? profile : "";
            const AVRational rate =
                stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
            facts.rateNumerator = rate.num;
            facts.rateDenominator = rate.den;
        } else if (codec->codec_type == AVMEDIA_TYPE_AUDIO) {
            facts.audioChannels += codec->ch_layout.nb_channels;
            facts.sampleRate = facts.sampleRate > 0 ? facts.sampleRate : codec->sample_rate;
        }
    }
    addTimecode(facts, *input, video);
    facts.reel = tag(input->metadata, "reel_name");
    for (unsigned i = 0; i < input->nb_streams && !facts.reel; ++i) {
        facts.reel = tag(input->streams[i]->metadata, "reel_name");
    }
    return facts;
}

} // namespace quaymark::report
