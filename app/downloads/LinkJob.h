// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DownloadCommand.h"
#include "DownloadRunner.h"
#include "VideoProject.h"
#include "app/platform/Volumes.h"

#include <QList>
#include <QString>

#include <optional>

namespace quaymark {

// The tagged lines a link's run prints or forwards, and the text after the tag. yt-dlp may
// glue a tag to the end of a post-processor's message, so the tag is looked for anywhere.
inline constexpr QStringView progressTag = u"QM_PROGRESS:";
inline constexpr QStringView titleTag = u"QM_TITLE:";
inline constexpr QStringView fileTag = u"QM_FILE:";
inline constexpr QStringView metaTag = u"QM_META:";
// Forwarded by the job itself: the intermediate's progress, 0 to 1.
inline constexpr QStringView convertingTag = u"QM_CONVERTING:";
std::optional<QString> taggedValue(const QString& line, QStringView tag);
// The JSON string after the tag, unescaped; nothing when the value is not a string.
std::optional<QString> taggedString(const QString& line, QStringView tag);

struct PlaylistEntry {
    QString url;
    QString title;
    // The video's id on its site, or its address when the site gives none.
    QString id;
    // Known to be one video; anything else is listed again before it downloads.
    bool single = false;
};

struct PlaylistListing {
    QString title;
    QList<PlaylistEntry> entries;
};

// What a run learned that the queue applies on the main thread once it has ended.
struct LinkResult {
    // The link named a playlist or channel; nothing was downloaded.
    std::optional<PlaylistListing> playlist;
    std::optional<QString> videoId;
    std::optional<QString> intermediate;
};

// Everything one link's run needs, copied, so the helper's thread shares nothing.
struct LinkJob {
    VideoProject project;
    VideoLink link;
    QString ytdlp;
    QString ffmpeg;
    QString ffprobe;
    QString deno;
    CookieChoice cookies;
    platform::SystemPaths system;

    // On the helper's thread: the project folder, the listing of an unknown link, the download,
    // the intermediate and the downloads receipt, each only after the one before succeeded.
    // Returns the download's transcript.
    QString run(ProcessControl& control, const DownloadRunner::LineSink& forward,
                LinkResult& result) const;
};

// The listing `-J` printed, or nothing for a single video.
std::optional<PlaylistListing> playlistFrom(const QByteArray& json);

} // namespace quaymark
