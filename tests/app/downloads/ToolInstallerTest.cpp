// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/downloads/ToolInstaller.h"

#include "HttpsTestServer.h"
#include "TestFiles.h"
#include "TestZip.h"
#include "app/downloads/DownloadError.h"
#include "app/downloads/DownloadModel.h"
#include "app/downloads/DownloadTools.h"
#include "app/downloads/ToolSources.h"
#include "ingest/records/Sha256.h"

#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>

namespace quaymark {
namespace {

namespace fs = std::filesystem;
using Kind = test::ZipEntry::Kind;
using Strings = std::vector<std::string>;

// A stand-in helper that fails unless asked for its version the way the installer must ask.
std::string helper(const std::string& version, const std::string& argument = "--version") {
    return "#!/bin/sh\n[ \"$1\" = \"" + argument + "\" ] || exit 9\necho '" + version + "'\n";
}

std::string upper(const std::string& text) {
    return QString::fromStdString(text).toUpper().toStdString();
}

std::string digest(const std::string& bytes) {
    return "sha256:" + Sha256::hex(bytes);
}

class ToolInstallerTest : public ::testing::Test {
protected:
    ToolInstallerTest() {
        config.endpoints = {server.url(), "127.0.0.1", server.url("/media/"), server.certificate()};
        config.toolsFolder = tools;
        config.media = {MediaTool{"ffmpeg", "ffmpeg.zip", ""},
                        MediaTool{"ffprobe", "ffprobe.zip", ""}};
        systemTool("ffmpeg");
        systemTool("ffprobe");
    }

    void systemTool(const std::string& name) {
        test::writeFile(system / name, helper(name + " 5", "-version"));
        fs::permissions(system / name, fs::perms(0755));
    }

    // Serves `bytes` and describes it as a release asset.
    nlohmann::json asset(const std::string& name, const std::string& bytes,
                         std::optional<std::string> sum = std::nullopt) {
        const std::string path = "/download/" + std::to_string(++served_) + "/" + name;
        server.serve(path, bytes);
        nlohmann::json item{{"name", name}, {"browser_download_url", server.url(path)}};
        item["digest"] = sum ? nlohmann::json(*sum) : nlohmann::json();
        return item;
    }

    void release(const std::string& repository, const std::vector<nlohmann::json>& assets) {
        server.serve("/repos/" + repository + "/releases/latest",
                     nlohmann::json{{"assets", assets}, {"tag_name", "v1"}}.dump());
    }

    // Both releases, each asset with its digest, yt-dlp's in upper case.
    void publish(const std::string& version) {
        const std::string ytdlp = helper("yt-dlp " + version);
        release("yt-dlp/yt-dlp", {asset(ytdlpAsset, ytdlp, "sha256:" + upper(Sha256::hex(ytdlp)))});
        publishDeno(test::zipBytes({{"deno", helper("deno " + version)}}));
    }

    void publishDeno(const std::string& zip) {
        release("denoland/deno", {asset(denoAsset, zip, digest(zip))});
    }

    void install(std::stop_token stop = {}) {
        ToolInstaller(DownloadTools({tools, system}), config)
            .install([this](const std::string& text) { statuses.push_back(text); }, stop);
    }

    // The installation's error as "domain code: description".
    std::string refusal() {
        try {
            install();
        } catch (const DownloadError& error) {
            return error.domain + " " + std::to_string(error.code) + ": " + error.description;
        }
        return "the installation succeeded";
    }

    Strings installed() const { return test::listTree(tools); }

    // A model that installs into the tools folder from this release service.
    std::unique_ptr<DownloadModel> installingModel() {
        DownloadModel::Setup setup;
        setup.dataFolder = QString::fromStdString((root / "data").string());
        setup.tools = DownloadTools({tools, system});
        setup.installer = config;
        return std::make_unique<DownloadModel>(std::move(setup));
    }

    // Fails with `expected`, "domain code: description" or "domain code" alone, having installed
    // nothing.
    void expectRefused(const std::string& expected) {
        const std::string got = refusal();
        EXPECT_EQ(expected.find(": ") == std::string::npos ? got.substr(0, got.find(": ")) : got,
                  expected);
        EXPECT_EQ(installed(), Strings{});
    }

    test::TempDir root;
    test::HttpsTestServer server;
    const fs::path tools = root / "Download Tools";
    const fs::path system = root / "system";
    ToolInstallConfig config;
    Strings statuses;
    const std::string ytdlpAsset{releaseTools()[0].asset};
    const std::string denoAsset{releaseTools()[1].asset};

private:
    int served_ = 0;
};

TEST_F(ToolInstallerTest, InstallsVerifiedToolsAndReplacesThemFromChecksumLists) {
    publish("1.0");
    // Left by an installation that never ended, with a power cut say.
    test::writeFile(tools / "setup-6B0D4C2E-0000-4000-8000-000000000000" / "yt-dlp_linux", "x");
    install();
    EXPECT_EQ(statuses, (Strings{"Downloading verified video downloader…",
                                 "Downloading verified JavaScript runtime…",
                                 "Using the system's ffmpeg", "Using the system's ffprobe"}));
    EXPECT_EQ(installed(), (Strings{"deno", "yt-dlp"}));
    EXPECT_EQ(test::readFile(tools / "deno"), helper("deno 1.0"));
    EXPECT_EQ(fs::status(tools / "deno").permissions(), fs::perms(0755));
    EXPECT_TRUE(DownloadTools({tools, system}).ready());
    for (const auto& request : server.requests()) {
        EXPECT_EQ(request.userAgent, "Brindleway-Quaymark");
    }

    // The next run replaces them, this time checked against checksum lists. Another file's name
    // contains the asset's, and its line comes first.
    const std::string ytdlp = helper("yt-dlp 2.0");
    const std::string sums = Sha256::hex("other") + "  " + ytdlpAsset + ".zip\r\n" +
                             Sha256::hex(ytdlp) + " *" + ytdlpAsset + "\r\n";
    release("yt-dlp/yt-dlp",
            {asset("SHA2-256SUMS", sums), asset(ytdlpAsset, ytdlp), asset("SHA2-512SUMS", "")});
    const std::string zip = test::zipBytes({{"deno", helper("deno 2.0")}});
    release("denoland/deno",
            {asset(denoAsset, zip),
             asset(denoAsset + ".sha256sum", upper(Sha256::hex(zip)) + "  " + denoAsset + "\n")});
    install();
    EXPECT_EQ(installed(), (Strings{"deno", "yt-dlp"}));
    EXPECT_EQ(test::readFile(tools / "yt-dlp"), ytdlp);
    EXPECT_EQ(test::readFile(tools / "deno"), helper("deno 2.0"));
}

TEST_F(ToolInstallerTest, DownloadsFollowRedirectsOverHttpsOnly) {
    publish("1.0");
    const std::string ytdlp = helper("yt-dlp 4.0");
    server.serve("/storage/yt-dlp", ytdlp);
    server.redirect("/download/yt-dlp", server.url("/storage/yt-dlp"));
    release("yt-dlp/yt-dlp", {{{"name", ytdlpAsset},
                               {"browser_download_url", server.url("/download/yt-dlp")},
                               {"digest", digest(ytdlp)}}});
    install();
    EXPECT_EQ(test::readFile(tools / "yt-dlp"), ytdlp);

    server.redirect("/download/yt-dlp", "http://127.0.0.1:1/yt-dlp");
    const std::string error = refusal();
    EXPECT_TRUE(error.starts_with("Quaymark.Network 5: Could not download " +
                                  server.url("/download/yt-dlp") + ": "))
        << error;
    EXPECT_EQ(test::readFile(tools / "yt-dlp"), ytdlp);
}

// Each case changes one thing of a good publication. yt-dlp is checked before deno, so a deno
// refusal also shows that a yt-dlp that passed every check is not installed alone.
TEST_F(ToolInstallerTest, ChecksumAndArchiveRefusalsInstallNothing) {
    const std::string ytdlp = helper("yt-dlp 1.0"), wrong = digest("something else");
    const std::string mismatch =
        "Quaymark.Tools 2: Helper checksum mismatch; installation stopped.";
    const std::string unsummed =
        "Quaymark.Tools 1: The release has no SHA-256 checksum; installation was stopped.";
    const std::string unpacked =
        "Quaymark.Tools 4: " + denoAsset + " does not hold deno at its top level.";
    const auto ytdlpWith = [&](const nlohmann::json& item) {
        return [this, &ytdlp, item] { release("yt-dlp/yt-dlp", {asset(ytdlpAsset, ytdlp), item}); };
    };
    const auto sums = [&](const std::string& text) {
        return ytdlpWith(asset("SHA2-256SUMS", text));
    };
    const auto deno = [&](std::vector<test::ZipEntry> entries) {
        return [this, entries] { publishDeno(test::zipBytes(entries)); };
    };
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { release("yt-dlp/yt-dlp", {asset(ytdlpAsset, ytdlp, wrong)}); }, mismatch},
        {sums(Sha256::hex("x") + "  " + ytdlpAsset), mismatch},
        {sums(Sha256::hex(ytdlp).substr(1) + "  " + ytdlpAsset + "\n"),
         "Quaymark.Network 3: SHA2-256SUMS has no usable SHA-256 line for " + ytdlpAsset + "."},
        {[&] { release("yt-dlp/yt-dlp", {asset(ytdlpAsset, ytdlp, "md5:00")}); }, unsummed},
        {ytdlpWith(
             {{"name", "SHA2-256SUMS"}, {"browser_download_url", "https://mirror.invalid/S"}}),
         unsummed},
        {[&] { release("denoland/deno", {asset(denoAsset, "zip", wrong)}); }, mismatch},
        {deno({{"deno", helper("deno")}, {"../escaped", "x"}}),
         "Quaymark.Tools 4: Could not unpack " + denoAsset +
             ": the entry \"../escaped\" lies outside the archive's folder."},
        {deno({{"bin/deno", helper("deno")}}), unpacked},
        {deno({{"real", "", Kind::Folder}, {"deno", "real", Kind::Link}}), unpacked},
    };
    for (const auto& [arrange, expected] : cases) {
        SCOPED_TRACE(expected);
        publish("1.0");
        arrange();
        expectRefused(expected);
        EXPECT_FALSE(fs::exists(root / "escaped"));
    }
}

TEST_F(ToolInstallerTest, ReleaseProblemsAreNetworkErrors) {
    const std::string latest = "/repos/yt-dlp/yt-dlp/releases/latest";
    const auto linked = [&](const std::string& url, const nlohmann::json& sum) {
        return [this, url, sum] {
            release("yt-dlp/yt-dlp",
                    {{{"name", ytdlpAsset}, {"browser_download_url", url}, {"digest", sum}}});
        };
    };
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { server.serve(latest, "{}", 503); },
         "Quaymark.Network 2: The release service answered with HTTP status 503 for "
         "yt-dlp/yt-dlp."},
        {[&] { server.serve(latest, R"({"assets": [{"name": 1}]})"); }, "Quaymark.Network 4"},
        {[&] { release("yt-dlp/yt-dlp", {asset(ytdlpAsset + "_v2", "x")}); },
         "Quaymark.Network 1: The latest release of yt-dlp/yt-dlp has no file named " + ytdlpAsset +
             "."},
        {linked("https://mirror.invalid/x", nullptr),
         "Quaymark.Network 1: The download address of " + ytdlpAsset +
             " is not on the release service: https://mirror.invalid/x"},
        {linked(server.url("/gone"), digest("x")),
         "Quaymark.Network 2: The server answered with HTTP status 404 for " + server.url("/gone") +
             "."},
        // The server's certificate is trusted only when the configuration says so.
        {[&] { config.endpoints.trustedCertificates.clear(); }, "Quaymark.Network 5"},
    };
    for (const auto& [arrange, expected] : cases) {
        SCOPED_TRACE(expected);
        publish("1.0");
        arrange();
        expectRefused(expected);
    }

    // Nothing is fetched once a stop is asked for.
    std::stop_source stop;
    stop.request_stop();
    const size_t before = server.requests().size();
    EXPECT_THROW(install(stop.get_token()), DownloadCancelled);
    EXPECT_EQ(server.requests().size(), before);
}

TEST_F(ToolInstallerTest, AToolThatFailsItsTrialRunIsTheError) {
    publish("1.0");
    install();
    const std::string broken = "#!/bin/sh\necho 'yt-dlp: broken build'\nexit 3\n";
    release("yt-dlp/yt-dlp", {asset(ytdlpAsset, broken, digest(broken))});
    EXPECT_EQ(refusal(), "Quaymark.Download 3: yt-dlp: broken build\n");
    // The tools installed before stay as they were.
    EXPECT_EQ(installed(), (Strings{"deno", "yt-dlp"}));
    EXPECT_EQ(test::readFile(tools / "yt-dlp"), helper("yt-dlp 1.0"));

    release("yt-dlp/yt-dlp", {asset(ytdlpAsset, "#!/bin/sh\nexec sleep 600\n",
                                    digest("#!/bin/sh\nexec sleep 600\n"))});
    config.trialLimit = std::chrono::milliseconds(100);
    EXPECT_EQ(refusal(),
              "Quaymark.Tools 5: yt-dlp did not answer --version in time; installation stopped.");
    EXPECT_EQ(test::readFile(tools / "yt-dlp"), helper("yt-dlp 1.0"));
}

TEST_F(ToolInstallerTest, MediaHelpersComeFromTheSystemOrAPinnedArchive) {
    publish("1.0");
    fs::remove_all(system);

    // Neither on the system nor pinned: nothing is fetched at all.
    expectRefused(
        "Quaymark.Tools 3: FFmpeg is not installed. Install it with your package manager, "
        "then try again.");
    EXPECT_EQ(server.requests().size(), 0u);

    const std::string ffmpeg = test::zipBytes({{"ffmpeg", helper("ffmpeg 9", "-version")}});
    const std::string ffprobe = test::zipBytes({{"ffprobe", helper("ffprobe 9", "-version")}});
    server.serve("/media/ffmpeg.zip", ffmpeg);
    server.serve("/media/ffprobe.zip", ffprobe);
    config.media[0].digest = Sha256::hex(ffmpeg);
    config.media[1].digest = Sha256::hex(ffmpeg);
    expectRefused("Quaymark.Tools 2: Media helper checksum mismatch; installation stopped.");
    EXPECT_EQ(server.requests().back().path, "/media/ffprobe.zip");

    config.media[1].digest = Sha256::hex(ffprobe);
    install();
    EXPECT_EQ(installed(), (Strings{"deno", "ffmpeg", "ffprobe", "yt-dlp"}));
    EXPECT_EQ(test::readFile(tools / "ffprobe"), helper("ffprobe 9", "-version"));
    EXPECT_TRUE(DownloadTools({tools}).ready());

    // One on the system, the other pinned.
    systemTool("ffmpeg");
    fs::remove(tools / "ffmpeg");
    config.media[0].digest.clear();
    install();
    EXPECT_EQ(installed(), (Strings{"deno", "ffprobe", "yt-dlp"}));
}

// The model installs on a worker of its own and tells the window on the window's thread.
TEST_F(ToolInstallerTest, TheModelInstallsOnAWorkerAndFindsTheToolsAfterwards) {
    publish("1.0");
    // Current enough for the command line: its help lists every option the app uses.
    const std::string current = "#!/bin/sh\n[ \"$1\" = --help ] && echo '--js-runtimes "
                                "--progress-delta --progress-template'\necho 'yt-dlp 1.0'\n";
    release("yt-dlp/yt-dlp", {asset(ytdlpAsset, current, digest(current))});
    const auto model = installingModel();
    QList<bool> installing;
    bool onMainThread = true;
    QObject::connect(model->tools(), &ToolsSetup::statusChanged, model.get(),
                     [&] { onMainThread &= QThread::currentThread() == model->thread(); });
    QObject::connect(model->tools(), &ToolsSetup::installingChanged, model.get(),
                     [&] { installing.append(model->tools()->installing()); });

    model->tools()->install();
    model->tools()->install(); // already installing: nothing more is fetched
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->tools()->installing(); }, 60'000));
    EXPECT_EQ(installing, (QList<bool>{true, false}));
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(model->message().toStdString(), "");
    EXPECT_EQ(server.requests().size(), 4u);
    EXPECT_EQ(installingModel()->tools()->status().toStdString(), "Download tools ready");

    // No server at the address at all: said in words, not as a transfer error.
    config.endpoints.releaseApi = "https://127.0.0.1:1";
    const auto offline = installingModel();
    offline->tools()->install();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !offline->tools()->installing(); }, 60'000));
    EXPECT_EQ(offline->message(), u"Quaymark could not reach GitHub to download the tools. Check "
                                  u"the internet connection, or install yt-dlp, deno and ffmpeg "
                                  u"with your package manager.");
}

// The model's installer thread must not outlive it, nor leave a half-made tools folder behind.
TEST_F(ToolInstallerTest, AModelGoingAwayMidInstallationLeavesNoStagingFolder) {
    publish("1.0");
    for (int round = 0; round < 5; ++round) {
        installingModel()->tools()->install();
        fs::create_directories(tools);
        for (const auto& entry : fs::directory_iterator(tools)) {
            EXPECT_FALSE(entry.path().filename().string().starts_with("setup-"));
        }
    }
}

void place(const fs::path& file, bool executable = true) {
    test::writeFile(file, "#!/bin/sh\n");
    fs::permissions(file, executable ? fs::perms::owner_all : fs::perms::owner_read);
}

// The installed tools come before the system's (Debian's yt-dlp is too old for the app).
TEST(DownloadToolsTest, FirstExecutableCandidateWins) {
    test::TempDir root;
    const fs::path tools = root / "tools", local = root / "local", system = root / "system";
    const DownloadTools lookup({tools, local, system});
    place(tools / "yt-dlp");
    place(local / "yt-dlp");
    place(tools / "deno", false);
    place(local / "deno");
    fs::create_directories(tools / "ffmpeg");
    place(system / "ffmpeg");
    EXPECT_EQ(lookup.tool("yt-dlp"), tools / "yt-dlp");
    EXPECT_EQ(lookup.tool("deno"), local / "deno") << "not executable";
    EXPECT_EQ(lookup.tool("ffmpeg"), system / "ffmpeg") << "a folder";
    EXPECT_FALSE(lookup.ready()) << "no ffprobe";
    place(system / "ffprobe");
    EXPECT_TRUE(lookup.ready());
}

// Where the installer puts the tools is where the application looks first.
TEST(DownloadToolsTest, StandardLookupFindsInstalledTools) {
    place(DownloadTools::toolsFolder() / "deno");
    EXPECT_EQ(DownloadTools::standard().tool("deno"), DownloadTools::toolsFolder() / "deno");
    fs::remove_all(DownloadTools::toolsFolder());
}

} // namespace
} // namespace quaymark
