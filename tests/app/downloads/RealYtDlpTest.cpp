// SPDX-License-Identifier: GPL-3.0-or-later
// The real yt-dlp and FFmpeg against two web servers on 127.0.0.1: a feed of three pages, each
// with an H.264/AAC clip and English subtitles.
#include "ChildProcess.h"
#include "DownloadFixture.h"
#include "ingest/engine/DownloadsReceipt.h"
#include "ingest/records/Sha256.h"

#include <httplib.h>

#include <condition_variable>
#include <mutex>

namespace quaymark::test {
namespace {

// A clip's first half goes out at once; the rest waits while the clip is held.
class ClipServer {
public:
    ClipServer() {
        port_ = server_.bind_to_any_port("127.0.0.1");
        // Bound and listening already: requests wait in the backlog until the loop runs.
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~ClipServer() {
        hold(false);
        server_.stop();
        thread_.join();
    }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    void page(const std::string& path, std::string body, const char* type = "text/html") {
        server_.Get(path, [body = std::move(body), type](const httplib::Request&,
                                                         httplib::Response& response) {
            response.set_content(body, type);
        });
    }
    void clip(const std::string& path, std::string bytes) {
        server_.Get(path, [this, bytes = std::move(bytes)](const httplib::Request& request,
                                                           httplib::Response& response) {
            if (request.has_header("Range") && request.get_header_value("Range") != "bytes=0-") {
                const std::lock_guard guard(lock_);
                ranged_ = true;
            }
            response.set_content_provider(
                bytes.size(), "video/mp4",
                [this, &bytes](size_t offset, size_t length, httplib::DataSink& sink) {
                    const size_t half = bytes.size() / 2;
                    if (offset >= half) {
                        std::unique_lock guard(lock_);
                        released_.wait(guard, [&] { return !held_; });
                    }
                    const size_t end =
                        offset < half ? std::min(half, offset + length) : offset + length;
                    sink.write(bytes.data() + offset, end - offset);
                    return true;
                });
        });
    }
    void hold(bool held) {
        {
            const std::lock_guard guard(lock_);
            held_ = held;
        }
        released_.notify_all();
    }
    bool resumedWithARange() {
        const std::lock_guard guard(lock_);
        return ranged_;
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex lock_; // guards held_ and ranged_
    std::condition_variable released_;
    bool held_ = false;
    bool ranged_ = false;
};

std::string mediaClip(const fs::path& file, int seconds) {
    const auto made =
        runProcess({"/usr/bin/ffmpeg",
                    "-loglevel",
                    "error",
                    "-y",
                    "-f",
                    "lavfi",
                    "-i",
                    "testsrc=size=320x240:rate=25:duration=" + std::to_string(seconds),
                    "-f",
                    "lavfi",
                    "-i",
                    "sine=frequency=440:duration=" + std::to_string(seconds),
                    "-c:v",
                    "libx264",
                    "-pix_fmt",
                    "yuv420p",
                    "-c:a",
                    "aac",
                    "-shortest",
                    file.string()});
    EXPECT_EQ(made.status, 0) << made.errors;
    return readFile(file);
}

// "codec_type codec_name" of every stream, in order.
std::string streams(const fs::path& file) {
    return runProcess({"/usr/bin/ffprobe", "-v", "error", "-show_entries",
                       "stream=codec_type,codec_name", "-of", "csv=p=0", file.string()})
        .output;
}

// The MD5 of every packet of the media streams, whatever container holds them.
std::string packets(const fs::path& file) {
    return runProcess({"/usr/bin/ffmpeg", "-loglevel", "error", "-i", file.string(), "-map", "0:v",
                       "-map", "0:a", "-c", "copy", "-f", "md5", "-"})
        .output;
}

class RealYtDlpTest : public DownloadFixture {
protected:
    // Debian's yt-dlp 2023.03.04 predates two options of the command line; the wrapper drops
    // an option the real one does not list and passes the rest unchanged.
    bool installRealTools() {
        const char* chosen = std::getenv("QUAYMARK_TEST_YTDLP");
        const fs::path real = chosen ? chosen : "/usr/bin/yt-dlp";
        if (!fs::exists(real) || !fs::exists("/usr/bin/ffmpeg")) {
            return false;
        }
        fs::create_directories(tools);
        writeFile(tools / "yt-dlp",
                  "#!/bin/bash\nreal='" + real.string() +
                      "'\nhelp=$(\"$real\" --help)\n"
                      "if [ \"$1\" = --help ]; then echo \"$help\"; echo '  --progress-delta "
                      "S'; echo '  --js-runtimes R'; exit 0; fi\nargs=()\n"
                      "while [ $# -gt 0 ]; do\n"
                      "  case \"$1\" in --progress-delta|--js-runtimes)\n"
                      "    if ! grep -q -- \"$1\" <<<\"$help\"; then shift 2; continue; fi;;\n"
                      "  esac\n  args+=(\"$1\"); shift\ndone\nexec \"$real\" \"${args[@]}\"\n");
        writeFile(tools / "deno", "#!/bin/sh\nexit 0\n");
        for (const char* name : {"yt-dlp", "deno"}) {
            fs::permissions(tools / name, fs::perms::owner_all, fs::perm_options::add);
        }
        fs::create_symlink("/usr/bin/ffmpeg", tools / "ffmpeg");
        fs::create_symlink("/usr/bin/ffprobe", tools / "ffprobe");
        return true;
    }

    static void serveVideo(ClipServer& server, int number, const std::string& bytes) {
        const std::string n = std::to_string(number);
        server.page("/v" + n + ".html",
                    "<html><head><title>Clip " + n + "</title></head><body><video src=\"clip" + n +
                        ".mp4\"><track kind=\"subtitles\" srclang=\"en\" src=\"clip" + n +
                        ".en.vtt\"></video></body></html>");
        server.page("/clip" + n + ".en.vtt",
                    "WEBVTT\n\n00:00.000 --> 00:01.000\nHarbour " + n + "\n", "text/vtt");
        server.clip("/clip" + n + ".mp4", bytes);
    }

    static std::string feed(const std::vector<std::string>& pages) {
        std::string items;
        for (std::size_t index = 0; index < pages.size(); ++index) {
            items += "<item><title>Clip " + std::to_string(index + 1) + "</title><link>" +
                     pages[index] + "</link></item>";
        }
        return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Harbour "
               "references</title><link>http://127.0.0.1/</link>" +
               items + "</channel></rss>";
    }
};

TEST_F(RealYtDlpTest, EditorPresetPlaylistTwoAtATimePausedAndResumedAfterARestart) {
    if (!installRealTools()) {
        GTEST_SKIP() << "no yt-dlp or ffmpeg on this machine";
    }
    ClipServer first;
    ClipServer second;
    std::vector<std::string> sources;
    for (int number : {1, 2, 3}) {
        sources.push_back(
            mediaClip(home / ("source" + std::to_string(number) + ".mp4"), number == 1 ? 8 : 2));
        serveVideo(number == 3 ? second : first, number, sources.back());
    }
    first.page("/feed.xml",
               feed({first.url("/v1.html"), first.url("/v2.html"), second.url("/v3.html")}),
               "application/rss+xml");

    auto model = makeModel();
    model->setNewPreset(static_cast<int>(DownloadPreset::Editor1080));
    addProject(*model, picker, QStringLiteral("References"), home / "videos");
    model->setOption(QStringLiteral("subtitleLanguages"), QStringLiteral("en"));
    paste(*model, {QString::fromStdString(first.url("/feed.xml"))});

    first.hold(true);
    model->downloadAll();
    // The second server's clip finishes while the first's is held; the first server's other
    // clip waits for its turn.
    ASSERT_TRUE(waitUntil([&] {
        const auto& links = model->project()->links;
        return links.size() == 3 && links[2].state == LinkState::Downloaded;
    })) << linkAt(*model, 0, 0).error.value_or(QString()).toStdString();
    EXPECT_EQ(linkAt(*model, 0, 0).state, LinkState::Downloading);
    EXPECT_EQ(linkAt(*model, 0, 1).state, LinkState::Queued);
    ASSERT_TRUE(waitUntil([&] { return linkAt(*model, 0, 0).fraction > 0; }));
    model->queue()->pauseAll();
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));
    EXPECT_EQ(linkAt(*model, 0, 0).state, LinkState::Paused);
    const fs::path folder = model->folderOf(*model->project()).toStdString();
    EXPECT_FALSE(fs::is_empty(folder / ".incomplete"));

    // A restart, then the rest of the held clip.
    model.reset();
    first.hold(false);
    model = makeModel();
    model->downloadAll();
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));
    EXPECT_TRUE(first.resumedWithARange());
    for (int index = 0; index < 3; ++index) {
        const VideoLink& link = linkAt(*model, 0, index);
        ASSERT_EQ(link.state, LinkState::Downloaded)
            << link.error.value_or(QString()).toStdString();
        const fs::path output = link.output->toStdString();
        EXPECT_EQ(output.extension(), ".mp4");
        EXPECT_EQ(streams(output), "h264,video\naac,audio\nmov_text,subtitle\n");
        EXPECT_EQ(packets(output), packets(home / ("source" + std::to_string(index + 1) + ".mp4")))
            << "the same media as the server's, across the pause and the restart";
    }
    const CancellationFlag never;
    const auto findings = ImportEngine::checkDownloads(folder, never);
    EXPECT_EQ(findings.size(), 3u);
    for (const auto& finding : findings) {
        EXPECT_EQ(finding.state, ImportEngine::DownloadFinding::State::matches) << finding.file;
    }
    EXPECT_EQ(ImportEngine::readDownloads(folder).at(0).preset, "editor-1080");
}

TEST_F(RealYtDlpTest, AnIntermediateIsMadeBesideTheOriginal) {
    if (!installRealTools()) {
        GTEST_SKIP() << "no yt-dlp or ffmpeg on this machine";
    }
    ClipServer server;
    serveVideo(server, 1, mediaClip(home / "source.mp4", 2));
    auto model = makeModel();
    model->setNewPreset(static_cast<int>(DownloadPreset::ProRes));
    addProject(*model, picker, QStringLiteral("Grade"), home / "videos");
    paste(*model, {QString::fromStdString(server.url("/v1.html"))});
    bool converting = false;
    QObject::connect(model.get(), &DownloadModel::projectsChanged, [&] {
        converting |= model->project()->links[0].state == LinkState::Converting;
    });
    model->downloadAll();
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));
    const VideoLink& link = linkAt(*model, 0, 0);
    ASSERT_EQ(link.state, LinkState::Downloaded) << link.error.value_or(QString()).toStdString();
    EXPECT_TRUE(converting);
    ASSERT_TRUE(link.intermediate);
    EXPECT_TRUE(link.intermediate->endsWith(u" (ProRes 422 HQ).mov"));
    EXPECT_EQ(streams(link.intermediate->toStdString()), "prores,video\npcm_s24le,audio\n");
    EXPECT_EQ(streams(link.output->toStdString()), "h264,video\naac,audio\n")
        << "the original is kept";
    const auto files =
        ImportEngine::readDownloads(fs::path(link.output->toStdString()).parent_path());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].file, fs::path(link.intermediate->toStdString()).filename());
    EXPECT_EQ(files[1].sha256, Sha256::hex(readFile(link.intermediate->toStdString())));
}

} // namespace
} // namespace quaymark::test
