// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DownloadOptions.h"

#include <QString>
#include <QStringList>

namespace quaymark {

// Where yt-dlp takes a user's cookies from. Kept in the settings only: never in the projects
// file, a link's error or the diagnostics log.
struct CookieChoice {
    enum class Kind { None, File, Browser };
    Kind kind = Kind::None;
    QString file;
    // "firefox", "chromium", "chrome" or "brave".
    QString browser;
    // A profile's folder or name; empty for the browser's default.
    QString profile;
    // "basictext", "gnomekeyring" or "kwallet"; empty for yt-dlp's guess. Chromium family only.
    QString keyring;

    bool operator==(const CookieChoice&) const = default;
};

// The command lines of a link's download.
namespace DownloadCommand {

struct Tools {
    QString ffmpegFolder;
    QString deno;
};

// yt-dlp's arguments for one video. `cookies` is a file the run may read (a private copy of
// the chosen one) or the browser to read them from.
QStringList download(const Tools& tools, const QString& projectFolder, const QString& url,
                     const DownloadOptions& options, const CookieChoice& cookies);
// yt-dlp's arguments that list a link's videos without downloading them.
QStringList probe(const Tools& tools, const QString& url, const CookieChoice& cookies);
// ffmpeg's arguments that make the preset's intermediate from `input` into `output`.
QStringList convert(DownloadPreset preset, const QString& input, const QString& output);
// The arguments that name a preset and its options, after the fixed part of download().
QStringList presetArguments(DownloadPreset preset);
QStringList optionArguments(const DownloadOptions& options);
QStringList cookieArguments(const CookieChoice& cookies);

// What a failed run's output tail means to the user: the advice for a site that wants cookies
// or a keyring that could not open them, else the tail with every line that mentions cookies
// left out, so no cookie path reaches a link's error.
QString failureText(const QString& tail, const CookieChoice& cookies, const QString& desktop);

} // namespace DownloadCommand

} // namespace quaymark
