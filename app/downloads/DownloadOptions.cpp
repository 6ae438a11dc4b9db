// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadOptions.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quaymark {

namespace {

struct PresetWords {
    DownloadPreset preset;
    const char16_t* key;
    const char16_t* title;
};

constexpr std::array<PresetWords, 7> presets{{
    {DownloadPreset::Original, u"original", u"Original quality (MKV)"},
    {DownloadPreset::Editor1080, u"editor-1080", u"Editor: H.264 and AAC in MP4, up to 1080p"},
    {DownloadPreset::Editor2160, u"editor-2160", u"Editor: H.264 and AAC in MP4, up to 2160p"},
    {DownloadPreset::ProRes, u"prores", u"Edit-ready intermediate: ProRes 422 HQ MOV"},
    {DownloadPreset::DNxHR, u"dnxhr", u"Edit-ready intermediate: DNxHR HQ MOV"},
    {DownloadPreset::AudioM4a, u"audio-m4a", u"Audio only: M4A"},
    {DownloadPreset::AudioWav, u"audio-wav", u"Audio only: WAV"},
}};

constexpr std::array<std::pair<SponsorSegments, const char16_t*>, 3> sponsorWords{{
    {SponsorSegments::Off, u"off"},
    {SponsorSegments::Mark, u"mark"},
    {SponsorSegments::Remove, u"remove"},
}};

} // namespace

DownloadPreset presetAt(int index) {
    return static_cast<DownloadPreset>(std::clamp(index, 0, presetCount - 1));
}

QString presetKey(DownloadPreset preset) {
    for (const auto& words : presets) {
        if (words.preset == preset) {
            return QString::fromUtf16(words.key);
        }
    }
    return {};
}

std::optional<DownloadPreset> presetFromKey(const QString& key) {
    for (const auto& words : presets) {
        if (key == QStringView(words.key)) {
            return words.preset;
        }
    }
    return std::nullopt;
}

QString presetTitle(DownloadPreset preset) {
    for (const auto& words : presets) {
        if (words.preset == preset) {
            return QString::fromUtf16(words.title);
        }
    }
    return {};
}

QString sponsorKey(SponsorSegments segments) {
    for (const auto& [value, word] : sponsorWords) {
        if (value == segments) {
            return QString::fromUtf16(word);
        }
    }
    return {};
}

std::optional<SponsorSegments> sponsorFromKey(const QString& key) {
    for (const auto& [value, word] : sponsorWords) {
        if (key == QStringView(word)) {
            return value;
        }
    }
    return std::nullopt;
}

bool keepsVideo(DownloadPreset preset) {
    return preset != DownloadPreset::AudioM4a && preset != DownloadPreset::AudioWav;
}

QString intermediateName(DownloadPreset preset) {
    switch (preset) {
    case DownloadPreset::ProRes:
        return QStringLiteral("ProRes 422 HQ");
    case DownloadPreset::DNxHR:
        return QStringLiteral("DNxHR HQ");
    default:
        return {};
    }
}

} // namespace quaymark
