// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/downloads/DownloadCommand.h"

#include "QtPaths.h"
#include "QtPrinting.h"
#include "TestFiles.h"
#include "app/downloads/DownloadQueue.h"
#include "app/downloads/DownloadSettings.h"
#include "app/downloads/LinkJob.h"

#include <gtest/gtest.h>

namespace quaymark {
namespace {

using namespace DownloadCommand;

const Tools tools{QStringLiteral("/tools"), QStringLiteral("/tools/deno")};
const QString url = QStringLiteral("https://videos.example/watch?v=1");

DownloadOptions withPreset(DownloadPreset preset) {
    DownloadOptions options;
    options.preset = preset;
    return options;
}

// What follows the fixed opening of every download, up to the preset's part.
QStringList presetPart(const DownloadOptions& options) {
    const QStringList all = download(tools, QStringLiteral("/p"), url, options, {});
    const qsizetype from = all.indexOf(QStringLiteral("--no-simulate")) + 1;
    return all.mid(from, all.indexOf(QStringLiteral("--ffmpeg-location")) - from);
}

// What follows the fixed closing, up to the address.
QStringList tail(const DownloadOptions& options, const CookieChoice& cookies = {}) {
    const QStringList all = download(tools, QStringLiteral("/p"), url, options, cookies);
    const qsizetype from = all.indexOf(QStringLiteral("--sleep-requests")) + 2;
    return all.mid(from);
}

TEST(DownloadCommandTest, EveryPresetAsksForItsOwnStreams) {
    const auto part = [](DownloadPreset preset) { return presetPart(withPreset(preset)); };
    const QStringList original{u"--format"_qs, u"bv*+ba/b"_qs, u"--merge-output-format"_qs,
                               u"mkv"_qs};
    EXPECT_EQ(part(DownloadPreset::Original), original);
    EXPECT_EQ(part(DownloadPreset::Editor1080),
              (QStringList{u"-S"_qs, u"vcodec:h264,res:1080,acodec:aac"_qs,
                           u"--merge-output-format"_qs, u"mp4"_qs}));
    EXPECT_EQ(part(DownloadPreset::Editor2160),
              (QStringList{u"-S"_qs, u"vcodec:h264,res:2160,acodec:aac"_qs,
                           u"--merge-output-format"_qs, u"mp4"_qs}));
    // The intermediate is made from the original download, which is kept.
    EXPECT_EQ(part(DownloadPreset::ProRes), original);
    EXPECT_EQ(part(DownloadPreset::DNxHR), original);
    EXPECT_EQ(part(DownloadPreset::AudioM4a),
              (QStringList{u"--format"_qs, u"ba/b"_qs, u"--extract-audio"_qs, u"--audio-format"_qs,
                           u"m4a"_qs}));
    EXPECT_EQ(part(DownloadPreset::AudioWav).last(), u"wav");

    // The whole line of the Editor preset, every argument in its place.
    const QStringList editor =
        download(tools, QStringLiteral("/p"), url, withPreset(DownloadPreset::Editor1080), {});
    EXPECT_EQ(editor.size(), 45);
    EXPECT_EQ(editor.mid(0, 2), (QStringList{u"--ignore-config"_qs, u"--no-playlist"_qs}));
    EXPECT_EQ(editor.mid(15, 2),
              (QStringList{u"--print"_qs, u"after_move:QM_META:%(.{id,extractor_key,uploader,"
                                          u"upload_date})j"_qs}));
    EXPECT_EQ(editor.mid(22, 4), (QStringList{u"--ffmpeg-location"_qs, u"/tools"_qs,
                                              u"--js-runtimes"_qs, u"deno:/tools/deno"_qs}));
    EXPECT_EQ(editor.mid(26, 10),
              (QStringList{u"--continue"_qs, u"--no-overwrites"_qs, u"--retries"_qs, u"10"_qs,
                           u"--fragment-retries"_qs, u"10"_qs, u"--socket-timeout"_qs, u"30"_qs,
                           u"--paths"_qs, u"home:/p"_qs}));
    EXPECT_EQ(
        editor.mid(36, 9),
        (QStringList{u"--paths"_qs, u"temp:/p/.incomplete"_qs, u"--output"_qs,
                     u"%(title).140B [%(extractor_key)s-%(id)s].%(ext)s"_qs,
                     u"--write-info-json"_qs, u"--sleep-requests"_qs, u"1"_qs, u"--"_qs, url}));

    EXPECT_EQ(convert(DownloadPreset::ProRes, u"/p/a.mkv"_qs, u"/p/a.mov.part"_qs).mid(14),
              (QStringList{u"-c:v"_qs, u"prores_ks"_qs, u"-profile:v"_qs, u"3"_qs, u"-pix_fmt"_qs,
                           u"yuv422p10le"_qs, u"-c:a"_qs, u"pcm_s24le"_qs, u"-f"_qs, u"mov"_qs,
                           u"/p/a.mov.part"_qs}));
    EXPECT_EQ(convert(DownloadPreset::DNxHR, u"/p/a.mkv"_qs, u"/p/a.mov.part"_qs).mid(14, 6),
              (QStringList{u"-c:v"_qs, u"dnxhd"_qs, u"-profile:v"_qs, u"dnxhr_hq"_qs,
                           u"-pix_fmt"_qs, u"yuv422p"_qs}));
}

TEST(DownloadCommandTest, OptionsAndCookiesCloseTheLine) {
    DownloadOptions options{.preset = DownloadPreset::Editor1080,
                            .subtitleLanguages = u" en.*,de "_qs,
                            .automaticCaptions = true,
                            .embedSubtitles = true,
                            .chapters = true,
                            .sponsorBlock = SponsorSegments::Mark};
    EXPECT_EQ(tail(options),
              (QStringList{u"--embed-subs"_qs, u"--write-auto-subs"_qs, u"--sub-langs"_qs,
                           u"en.*,de"_qs, u"--sleep-subtitles"_qs, u"5"_qs, u"--embed-chapters"_qs,
                           u"--sponsorblock-mark"_qs, u"all"_qs, u"--"_qs, url}));
    // Beside the file as SRT; audio never embeds; removal only when asked.
    options = {.preset = DownloadPreset::AudioWav,
               .subtitleLanguages = u"en"_qs,
               .automaticCaptions = false,
               .embedSubtitles = true,
               .chapters = true,
               .sponsorBlock = SponsorSegments::Remove};
    EXPECT_EQ(tail(options),
              (QStringList{u"--write-subs"_qs, u"--convert-subs"_qs, u"srt"_qs, u"--sub-langs"_qs,
                           u"en"_qs, u"--sleep-subtitles"_qs, u"5"_qs, u"--sponsorblock-mark"_qs,
                           u"all"_qs, u"--sponsorblock-remove"_qs, u"sponsor"_qs, u"--"_qs, url}));
    EXPECT_EQ(tail({}), (QStringList{u"--"_qs, url}));

    const CookieChoice file{CookieChoice::Kind::File, u"/run/copy"_qs, {}, {}, {}};
    EXPECT_EQ(tail({}, file), (QStringList{u"--cookies"_qs, u"/run/copy"_qs, u"--"_qs, url}));
    const CookieChoice brave{CookieChoice::Kind::Browser,
                             {},
                             u"brave"_qs,
                             u"/home/u/.var/app/com.brave.Browser/config/Default"_qs,
                             u"kwallet"_qs};
    EXPECT_EQ(cookieArguments(brave),
              (QStringList{u"--cookies-from-browser"_qs,
                           u"brave+kwallet:/home/u/.var/app/com.brave.Browser/config/Default"_qs}));
    // Firefox keeps no key in a keyring.
    EXPECT_EQ(cookieArguments({CookieChoice::Kind::Browser, {}, u"firefox"_qs, {}, u"kwallet"_qs}),
              (QStringList{u"--cookies-from-browser"_qs, u"firefox"_qs}));
    EXPECT_EQ(
        probe(tools, url, brave).mid(0, 4),
        (QStringList{u"--ignore-config"_qs, u"--no-colors"_qs, u"--flat-playlist"_qs, u"-J"_qs}));
    EXPECT_TRUE(probe(tools, url, brave).contains(u"--cookies-from-browser"_qs));
}

TEST(DownloadCommandTest, FailuresSayWhatToDoAndNeverNameTheCookies) {
    const CookieChoice file{CookieChoice::Kind::File, u"/home/u/secret.txt"_qs, {}, {}, {}};
    EXPECT_EQ(failureText(u"[Cookies] Loading /home/u/secret.txt\nERROR: [youtube] x: Sign in to "
                          u"confirm you’re not a bot. Use --cookies"_qs,
                          file, {}),
              u"This site wants a signed-in browser. Choose cookies in Settings → Video "
              u"projects.");
    const CookieChoice chrome{CookieChoice::Kind::Browser, {}, u"chrome"_qs, {}, {}};
    const QString undecrypted =
        u"Extracted 12 cookies from chrome (12 could not be decrypted)\nERROR: Sign in to confirm "
        u"you're not a bot"_qs;
    EXPECT_EQ(failureText(undecrypted, chrome, u"KDE"_qs),
              u"The browser's cookies could not be decrypted. Choose the keyring “KWallet” in "
              u"Settings → Video projects.");
    EXPECT_EQ(failureText(undecrypted, chrome, u"GNOME"_qs),
              u"The browser's cookies could not be decrypted. Choose the keyring “GNOME Keyring” "
              u"in Settings → Video projects.");
    // The keyring tried already is not offered again.
    CookieChoice gnome = chrome;
    gnome.keyring = u"gnomekeyring"_qs;
    EXPECT_TRUE(failureText(undecrypted, gnome, u"GNOME"_qs).contains(u"“Basic text”"));
    // Other failures keep their text, less every line about cookies.
    EXPECT_EQ(failureText(u"Reading /home/u/secret.txt\nExtracting cookies from firefox\nERROR: "
                          u"HTTP Error 404"_qs,
                          file, {}),
              u"ERROR: HTTP Error 404");
    EXPECT_EQ(failureText(u"ERROR: HTTP Error 404 /x"_qs, {}, {}), u"ERROR: HTTP Error 404 /x");
}

TEST(DownloadCommandTest, ListingsAndSites) {
    const auto listing = playlistFrom(
        R"({"_type": "playlist", "title": "Harbour", "entries": [
            {"_type": "url", "ie_key": "Youtube", "id": "a1", "url": "https://youtu.be/a1",
             "title": "First"},
            null,
            {"_type": "url", "ie_key": "YoutubeTab", "id": "UC1", "url": "https://y.example/c/x",
             "title": "Videos"},
            {"_type": "url_transparent", "url": "http://127.0.0.1:1/v3.html#smuggled"},
            {"_type": "url", "url": "ftp://nowhere", "webpage_url": "https://w.example/4"}]})");
    ASSERT_TRUE(listing);
    EXPECT_EQ(listing->title, u"Harbour");
    ASSERT_EQ(listing->entries.size(), 4);
    EXPECT_EQ(listing->entries[0].id, u"a1");
    EXPECT_TRUE(listing->entries[0].single);
    EXPECT_FALSE(listing->entries[1].single) << "a channel's tab is a list of its own";
    EXPECT_EQ(listing->entries[2].id, u"http://127.0.0.1:1/v3.html#smuggled");
    EXPECT_FALSE(listing->entries[2].single);
    EXPECT_EQ(listing->entries[3].url, u"https://w.example/4");
    EXPECT_FALSE(playlistFrom(R"({"_type": "video", "id": "a1"})"));
    EXPECT_THROW(playlistFrom("WARNING: no JSON"), std::exception);

    EXPECT_EQ(DownloadQueue::siteOf(u"https://WWW.YouTube.com/watch?v=1"_qs), u"youtube.com:443");
    EXPECT_EQ(DownloadQueue::siteOf(u"https://youtube.com:443/x"_qs), u"youtube.com:443");
    EXPECT_EQ(DownloadQueue::siteOf(u"http://127.0.0.1:8001/x"_qs), u"127.0.0.1:8001");
    EXPECT_EQ(taggedValue(u"[MoveFiles] finishedQM_FILE:\"/a\""_qs, u"QM_FILE:"), u"\"/a\"");
}

} // namespace
} // namespace quaymark

namespace quaymark {
namespace {

TEST(DownloadSettingsTest, BrowserProfilesIncludeFlatpakOnesThatHoldCookies) {
    const test::TempDir home;
    test::writeFile(home / ".mozilla/firefox/a1.default-release/cookies.sqlite", "");
    test::writeFile(
        home / ".var/app/org.mozilla.firefox/.mozilla/firefox/b2.default/cookies.sqlite", "");
    std::filesystem::create_directories(home / ".mozilla/firefox/Crash Reports");
    test::writeFile(home / ".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser/"
                           "Profile 1/Network/Cookies",
                    "");
    const auto labels = [&](const char* browser) {
        QStringList list;
        for (const QVariant& profile : DownloadSettings::findProfiles(QString::fromLatin1(browser),
                                                                      test::text(home.path()))) {
            list.append(profile.toMap().value(u"label"_qs).toString());
        }
        return list;
    };
    EXPECT_EQ(labels("firefox"),
              (QStringList{u"a1.default-release"_qs, u"b2.default (Flatpak)"_qs}));
    EXPECT_EQ(labels("brave"), (QStringList{u"Profile 1 (Flatpak)"_qs}));
    EXPECT_TRUE(labels("chrome").isEmpty());
}

} // namespace
} // namespace quaymark
