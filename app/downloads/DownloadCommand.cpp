// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadCommand.h"

namespace quaymark::DownloadCommand {

namespace {

bool chromiumFamily(const QString& browser) {
    return browser == u"chromium" || browser == u"chrome" || browser == u"brave";
}

QString keyringTitle(const QString& keyring) {
    if (keyring == u"kwallet") {
        return QStringLiteral("KWallet");
    }
    if (keyring == u"basictext") {
        return QStringLiteral("Basic text");
    }
    return QStringLiteral("GNOME Keyring");
}

// The keyring a Chromium browser on this desktop most likely keeps its key in, or the plain one
// when that was already chosen.
QString keyringToTry(const QString& chosen, const QString& desktop) {
    const QString likely = desktop.contains(u"KDE", Qt::CaseInsensitive)
                               ? QStringLiteral("kwallet")
                               : QStringLiteral("gnomekeyring");
    return chosen == likely ? QStringLiteral("basictext") : likely;
}

} // namespace

QStringList presetArguments(DownloadPreset preset) {
    switch (preset) {
    case DownloadPreset::Editor1080:
        return {QStringLiteral("-S"), QStringLiteral("vcodec:h264,res:1080,acodec:aac"),
                QStringLiteral("--merge-output-format"), QStringLiteral("mp4")};
    case DownloadPreset::Editor2160:
        return {QStringLiteral("-S"), QStringLiteral("vcodec:h264,res:2160,acodec:aac"),
                QStringLiteral("--merge-output-format"), QStringLiteral("mp4")};
    case DownloadPreset::AudioM4a:
    case DownloadPreset::AudioWav:
        return {QStringLiteral("--format"), QStringLiteral("ba/b"),
                QStringLiteral("--extract-audio"), QStringLiteral("--audio-format"),
                preset == DownloadPreset::AudioM4a ? QStringLiteral("m4a") : QStringLiteral("wav")};
    case DownloadPreset::Original:
    case DownloadPreset::ProRes:
    case DownloadPreset::DNxHR:
        break;
    }
    return {QStringLiteral("--format"), QStringLiteral("bv*+ba/b"),
            QStringLiteral("--merge-output-format"), QStringLiteral("mkv")};
}

QStringList optionArguments(const DownloadOptions& options) {
    QStringList list;
    const QString languages = options.subtitleLanguages.trimmed();
    if (!languages.isEmpty()) {
        // A WAV or M4A file has no place for subtitles: they stay beside it.
        if (options.embedSubtitles && keepsVideo(options.preset)) {
            list << QStringLiteral("--embed-subs");
        } else {
            list << QStringLiteral("--write-subs") << QStringLiteral("--convert-subs")
                 << QStringLiteral("srt");
        }
        if (options.automaticCaptions) {
            list << QStringLiteral("--write-auto-subs");
        }
        // Many languages fetched back to back end in HTTP 429.
        list << QStringLiteral("--sub-langs") << languages << QStringLiteral("--sleep-subtitles")
             << QStringLiteral("5");
    }
    if (options.chapters && options.preset != DownloadPreset::AudioWav) {
        list << QStringLiteral("--embed-chapters");
    }
    if (options.sponsorBlock != SponsorSegments::Off) {
        list << QStringLiteral("--sponsorblock-mark") << QStringLiteral("all");
    }
    // Only on request: it cuts the footage.
    if (options.sponsorBlock == SponsorSegments::Remove) {
        list << QStringLiteral("--sponsorblock-remove") << QStringLiteral("sponsor");
    }
    return list;
}

QStringList cookieArguments(const CookieChoice& cookies) {
    switch (cookies.kind) {
    case CookieChoice::Kind::None:
        return {};
    case CookieChoice::Kind::File:
        return {QStringLiteral("--cookies"), cookies.file};
    case CookieChoice::Kind::Browser:
        break;
    }
    // BROWSER[+KEYRING][:PROFILE]
    QString source = cookies.browser;
    if (chromiumFamily(cookies.browser) && !cookies.keyring.isEmpty()) {
        source += u'+' + cookies.keyring;
    }
    if (!cookies.profile.isEmpty()) {
        source += u':' + cookies.profile;
    }
    return {QStringLiteral("--cookies-from-browser"), source};
}

QStringList download(const Tools& tools, const QString& projectFolder, const QString& url,
                     const DownloadOptions& options, const CookieChoice& cookies) {
    QStringList list{
        QStringLiteral("--ignore-config"),
        QStringLiteral("--no-playlist"),
        QStringLiteral("--newline"),
        QStringLiteral("--no-colors"),
        QStringLiteral("--progress"),
        QStringLiteral("--progress-delta"),
        QStringLiteral("0.5"),
        QStringLiteral("--progress-template"),
        QStringLiteral("download:QM_PROGRESS:%(progress)j"),
        // --print silences yt-dlp's own messages; this brings back the merge notice.
        QStringLiteral("--progress-template"),
        QStringLiteral("postprocess:[%(progress.postprocessor)s] %(progress.status)s"),
        QStringLiteral("--print"),
        QStringLiteral("before_dl:QM_TITLE:%(title)j"),
        QStringLiteral("--print"),
        QStringLiteral("after_move:QM_FILE:%(filepath)j"),
        QStringLiteral("--print"),
        QStringLiteral("after_move:QM_META:%(.{id,extractor_key,uploader,upload_date})j"),
        QStringLiteral("--no-simulate"),
    };
    list << presetArguments(options.preset);
    list << QStringList{
        QStringLiteral("--ffmpeg-location"),
        tools.ffmpegFolder,
        QStringLiteral("--js-runtimes"),
        u"deno:" + tools.deno,
        QStringLiteral("--continue"),
        QStringLiteral("--no-overwrites"),
        QStringLiteral("--retries"),
        QStringLiteral("10"),
        QStringLiteral("--fragment-retries"),
        QStringLiteral("10"),
        QStringLiteral("--socket-timeout"),
        QStringLiteral("30"),
        QStringLiteral("--paths"),
        u"home:" + projectFolder,
        QStringLiteral("--paths"),
        u"temp:" + projectFolder + u"/.incomplete",
        QStringLiteral("--output"),
        QStringLiteral("%(title).140B [%(extractor_key)s-%(id)s].%(ext)s"),
        QStringLiteral("--write-info-json"),
        // Two downloads at once must not look like a crawler to the site.
        QStringLiteral("--sleep-requests"),
        QStringLiteral("1"),
    };
    list << optionArguments(options) << cookieArguments(cookies) << QStringLiteral("--") << url;
    return list;
}

QStringList probe(const Tools& tools, const QString& url, const CookieChoice& cookies) {
    QStringList list{QStringLiteral("--ignore-config"),  QStringLiteral("--no-colors"),
                     QStringLiteral("--flat-playlist"),  QStringLiteral("-J"),
                     QStringLiteral("--js-runtimes"),    u"deno:" + tools.deno,
                     QStringLiteral("--socket-timeout"), QStringLiteral("30"),
                     QStringLiteral("--sleep-requests"), QStringLiteral("1")};
    list << cookieArguments(cookies) << QStringLiteral("--") << url;
    return list;
}

QStringList convert(DownloadPreset preset, const QString& input, const QString& output) {
    QStringList list{QStringLiteral("-nostdin"),  QStringLiteral("-hide_banner"),
                     QStringLiteral("-loglevel"), QStringLiteral("error"),
                     QStringLiteral("-nostats"),  QStringLiteral("-progress"),
                     QStringLiteral("pipe:1"),    QStringLiteral("-y"),
                     QStringLiteral("-i"),        input,
                     QStringLiteral("-map"),      QStringLiteral("0:v:0"),
                     QStringLiteral("-map"),      QStringLiteral("0:a?")};
    if (preset == DownloadPreset::DNxHR) {
        list << QStringLiteral("-c:v") << QStringLiteral("dnxhd") << QStringLiteral("-profile:v")
             << QStringLiteral("dnxhr_hq") << QStringLiteral("-pix_fmt")
             << QStringLiteral("yuv422p");
    } else {
        list << QStringLiteral("-c:v") << QStringLiteral("prores_ks")
             << QStringLiteral("-profile:v") << QStringLiteral("3") << QStringLiteral("-pix_fmt")
             << QStringLiteral("yuv422p10le");
    }
    list << QStringLiteral("-c:a") << QStringLiteral("pcm_s24le") << QStringLiteral("-f")
         << QStringLiteral("mov") << output;
    return list;
}

QString failureText(const QString& tail, const CookieChoice& cookies, const QString& desktop) {
    if (tail.contains(u"could not be decrypted") || tail.contains(u"cannot decrypt") ||
        tail.contains(u"failed to decrypt")) {
        return u"The browser's cookies could not be decrypted. Choose the keyring “" +
               keyringTitle(keyringToTry(cookies.keyring, desktop)) +
               u"” in Settings → Video projects.";
    }
    if (tail.contains(u"Sign in to confirm you", Qt::CaseInsensitive) &&
        tail.contains(u"not a bot", Qt::CaseInsensitive)) {
        return QStringLiteral("This site wants a signed-in browser. Choose cookies in Settings → "
                              "Video projects.");
    }
    if (cookies.kind == CookieChoice::Kind::None) {
        return tail;
    }
    QStringList kept;
    for (const QString& line : tail.split(u'\n')) {
        const bool private_ = line.contains(u"cookie", Qt::CaseInsensitive) ||
                              (!cookies.file.isEmpty() && line.contains(cookies.file)) ||
                              (!cookies.profile.isEmpty() && line.contains(cookies.profile));
        if (!private_) {
            kept << line;
        }
    }
    const QString text = kept.join(u'\n').trimmed();
    return text.isEmpty() ? QStringLiteral("The download helper stopped unexpectedly.") : text;
}

} // namespace quaymark::DownloadCommand
