// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quaymark {

// What a project's downloads become. The order is the order the screens offer them in.
enum class DownloadPreset { Original, Editor1080, Editor2160, ProRes, DNxHR, AudioM4a, AudioWav };

enum class SponsorSegments { Off, Mark, Remove };

// How every link of one project is downloaded.
struct DownloadOptions {
    DownloadPreset preset = DownloadPreset::Original;
    // yt-dlp's language list, such as "en.*,de"; empty for no subtitles.
    QString subtitleLanguages;
    bool automaticCaptions = false;
    // In the file, or as SRT files beside it.
    bool embedSubtitles = true;
    bool chapters = false;
    SponsorSegments sponsorBlock = SponsorSegments::Off;

    bool operator==(const DownloadOptions&) const = default;
};

// The preset at a screen's index, the nearest one for an index out of range.
DownloadPreset presetAt(int index);
inline constexpr int presetCount = static_cast<int>(DownloadPreset::AudioWav) + 1;

// The word the projects file and the downloads receipt store, and back.
QString presetKey(DownloadPreset preset);
std::optional<DownloadPreset> presetFromKey(const QString& key);
QString presetTitle(DownloadPreset preset);
QString sponsorKey(SponsorSegments segments);
std::optional<SponsorSegments> sponsorFromKey(const QString& key);

// Whether the preset leaves a video; audio presets keep subtitles beside the file.
bool keepsVideo(DownloadPreset preset);
// The intermediate's codec name in its file name, such as "ProRes 422 HQ"; empty for presets
// without one.
QString intermediateName(DownloadPreset preset);

} // namespace quaymark
