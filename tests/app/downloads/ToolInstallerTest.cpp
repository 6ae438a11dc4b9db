// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/downloads/ToolInstaller.h"

#include "HttpsTestServer.h"
#include "TestFiles.h"
#include "TestZip.h"
#include "app/downloads/DownloadError.h"
#include "app/downloads/DownloadTools.h"
#include "app/downloads/ToolSources.h"
#include "ingest/records/Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>
#include <optional>

namespace quaymark {
namespace {

namespace fs = std::filesystem;
using Kind = test::ZipEntry::Kind;

// A stand-in helper that fails unless asked for its version the way the installer must ask.
std::string helper(const std::string& version, const std::string& argument = "--version") {
    return "#!/bin/sh\n[ \"$1\" = \"" + argument + "\" ] || exit 9\necho '" + version + "'\n";
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

class ToolInstallerTest : public ::testing::Test {
protected:
    ToolInstallerTest() {
        config.endpoints = {server.url(), "127.0.0.1", server.url("/media/"), server.certificate()};
        config.toolsFolder = tools;
        config.media = {MediaTool{"ffmpeg", "ffmpeg.zip", ""},
                        MediaTool{"ffprobe", "ffprobe.zip", ""}};
        for (const char* name : {"ffmpeg", "ffprobe"}) {
            systemTool(name);
        }
    }

    void systemTool(const std::string& name) {
        test::writeFile(system / name, helper(name + " 5", "-version"));
        fs::permissions(system / name, fs::perms(0755));
    }

    // Serves `bytes` and describes it as a release asset.
    nlohmann::json asset(const std::string& name, const std::string& bytes,
                         std::optional<std::string> digest = std::nullopt) {
        const std::string path = "/download/" + std::to_string(++served_) + "/" + name;
        server.serve(path, bytes);
        nlohmann::json item{{"name", name}, {"browser_download_url", server.url(path)}};
        item["digest"] = digest ? nlohmann::json(*digest) : nlohmann::json();
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
        release("denoland/deno", {asset(denoAsset, zip, "sha256:" + Sha256::hex(zip))});
    }

    void install(std::stop_token stop = {}) {
        ToolInstaller(DownloadTools({tools, system}), config)
            .install([this](const std::string& text) { statuses.push_back(text); }, stop);
    }

    DownloadError failure() {
        try {
            install();
        } catch (const DownloadError& error) {
            return error;
        }
        ADD_FAILURE() << "the installation succeeded";
        return DownloadError("", 0, "");
    }

    std::vector<std::string> installed() const { return test::listTree(tools); }

    // The installation fails with this error, its description unless empty, and installs
    // nothing.
    void expectRefused(const std::string& domain, int code, const std::string& description) {
        const DownloadError error = failure();
        EXPECT_EQ(error.domain, domain);
        EXPECT_EQ(error.code, code);
        if (!description.empty()) {
            EXPECT_EQ(error.description, description);
        }
        EXPECT_EQ(installed(), std::vector<std::string>{});
    }

    test::TempDir root;
    test::HttpsTestServer server;
    const fs::path tools = root / "Download Tools";
    const fs::path system = root / "system";
    ToolInstallConfig config;
    std::vector<std::string> statuses;
    const std::string ytdlpAsset{releaseTools()[0].asset};
    const std::string denoAsset{releaseTools()[1].asset};

private:
    int served_ = 0;
};

TEST_F(ToolInstallerTest, InstallsVerifiedToolsAndReplacesThemOnTheNextRun) {
    publish("1.0");
    // Left by an installation that never ended, with a power cut say.
    test::writeFile(tools / "setup-6B0D4C2E-0000-4000-8000-000000000000" / "yt-dlp_linux", "x");
    install();
    EXPECT_EQ(statuses, (std::vector<std::string>{"Downloading verified video downloader…",
                                                  "Downloading verified JavaScript runtime…",
                                                  "Using the system's ffmpeg",
                                                  "Using the system's ffprobe"}));
    EXPECT_EQ(installed(), (std::vector<std::string>{"deno", "yt-dlp"}));
    EXPECT_EQ(test::readFile(tools / "yt-dlp"), helper("yt-dlp 1.0"));
    EXPECT_EQ(test::readFile(tools / "deno"), helper("deno 1.0"));
    EXPECT_EQ(fs::status(tools / "deno").permissions(), fs::perms(0755));
    EXPECT_TRUE(DownloadTools({tools, system}).ready());

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].path, "/repos/yt-dlp/yt-dlp/releases/latest");
    EXPECT_EQ(requests[2].path, "/repos/denoland/deno/releases/latest");
    for (const auto& request : requests) {
        EXPECT_EQ(request.userAgent, "Brindleway-Quaymark");
    }

    publish("2.0");
    install();
    EXPECT_EQ(installed(), (std::vector<std::string>{"deno", "yt-dlp"}));
    EXPECT_EQ(test::readFile(tools / "yt-dlp"), helper("yt-dlp 2.0"));
    EXPECT_EQ(test::readFile(tools / "deno"), helper("deno 2.0"));
}

TEST_F(ToolInstallerTest, DownloadsFollowRedirectsOverHttpsOnly) {
    publish("1.0");
    const std::string ytdlp = helper("yt-dlp 4.0");
    server.serve("/storage/yt-dlp", ytdlp);
    server.redirect("/download/yt-dlp", server.url("/storage/yt-dlp"));
    release("yt-dlp/yt-dlp", {{{"name", ytdlpAsset},
                               {"browser_download_url", server.url("/download/yt-dlp")},
                               {"digest", "sha256:" + Sha256::hex(ytdlp)}}});
    install();
    EXPECT_EQ(test::readFile(tools / "yt-dlp"), ytdlp);

    server.redirect("/download/yt-dlp", "http://127.0.0.1:1/yt-dlp");
    const DownloadError error = failure();
    EXPECT_EQ(error.domain, "Quaymark.Network");
    EXPECT_EQ(error.code, 5);
    EXPECT_TRUE(error.description.starts_with("Could not download " +
                                              server.url("/download/yt-dlp") + ": "))
        << error.description;
    EXPECT_EQ(test::readFile(tools / "yt-dlp"), ytdlp);
}

TEST_F(ToolInstallerTest, ChecksumListsAreReadByFileName) {
    publish("1.0");
    const std::string ytdlp = helper("yt-dlp 3.0");
    // Another file's name contains the asset's; its line comes first.
    const std::string sums = Sha256::hex("other") + "  " + ytdlpAsset + ".zip\r\n" +
                             Sha256::hex(ytdlp) + " *" + ytdlpAsset + "\r\n";
    release("yt-dlp/yt-dlp",
            {asset("SHA2-256SUMS", sums), asset(ytdlpAsset, ytdlp), asset("SHA2-512SUMS", "")});
    const std::string zip = test::zipBytes({{"deno", helper("deno 3.0")}});
    release("denoland/deno",
            {asset(denoAsset, zip),
             asset(denoAsset + ".sha256sum", upper(Sha256::hex(zip)) + "  " + denoAsset + "\n")});
    install();
    EXPECT_EQ(test::readFile(tools / "yt-dlp"), ytdlp);
    EXPECT_EQ(test::readFile(tools / "deno"), helper("deno 3.0"));
}

TEST_F(ToolInstallerTest, ChecksumFailuresStopEverything) {
    const std::string ytdlp = helper("yt-dlp 1.0");
    struct Case {
        const char* what;
        std::vector<nlohmann::json> assets;
        std::string domain;
        int code;
        std::string description;
    };
    const std::string wrong = "sha256:" + Sha256::hex("something else");
    const std::string short63 = Sha256::hex(ytdlp).substr(1);
    const Case cases[] = {
        {"digest differs",
         {asset(ytdlpAsset, ytdlp, wrong)},
         "Quaymark.Tools",
         2,
         "Helper checksum mismatch; installation stopped."},
        {"list digest differs",
         {asset(ytdlpAsset, ytdlp), asset("SHA2-256SUMS", Sha256::hex("x") + "  " + ytdlpAsset)},
         "Quaymark.Tools",
         2,
         "Helper checksum mismatch; installation stopped."},
        {"63 characters",
         {asset(ytdlpAsset, ytdlp), asset("SHA2-256SUMS", short63 + "  " + ytdlpAsset + "\n")},
         "Quaymark.Network",
         3,
         "SHA2-256SUMS has no usable SHA-256 line for " + ytdlpAsset + "."},
        {"no checksum",
         {asset(ytdlpAsset, ytdlp, "md5:00")},
         "Quaymark.Tools",
         1,
         "The release has no SHA-256 checksum; installation was stopped."},
        {"list elsewhere",
         {asset(ytdlpAsset, ytdlp),
          {{"name", "SHA2-256SUMS"}, {"browser_download_url", "https://mirror.invalid/SUMS"}}},
         "Quaymark.Tools",
         1,
         "The release has no SHA-256 checksum; installation was stopped."},
    };
    publish("1.0");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        release("yt-dlp/yt-dlp", c.assets);
        expectRefused(c.domain, c.code, c.description);
    }

    // deno fails after yt-dlp passed every check: yt-dlp is not installed either.
    release("yt-dlp/yt-dlp", {asset(ytdlpAsset, ytdlp, "sha256:" + Sha256::hex(ytdlp))});
    release("denoland/deno", {asset(denoAsset, "zip", wrong)});
    EXPECT_EQ(failure().description, "Helper checksum mismatch; installation stopped.");
    EXPECT_EQ(installed(), std::vector<std::string>{});
}

TEST_F(ToolInstallerTest, ReleaseProblemsAreReportedAsNetworkErrors) {
    publish("1.0");
    const std::string latest = "/repos/yt-dlp/yt-dlp/releases/latest";
    const std::string ytdlp = helper("yt-dlp 1.0");
    struct Case {
        const char* what;
        std::function<void()> arrange;
        int code;
        std::string description;
    };
    const Case cases[] = {
        {"status 503", [&] { server.serve(latest, "{}", 503); }, 2,
         "The release service answered with HTTP status 503 for yt-dlp/yt-dlp."},
        {"not a release", [&] { server.serve(latest, R"({"assets": [{"name": 1}]})"); }, 4, ""},
        {"missing asset", [&] { release("yt-dlp/yt-dlp", {asset(ytdlpAsset + "_v2", ytdlp)}); }, 1,
         "The latest release of yt-dlp/yt-dlp has no file named " + ytdlpAsset + "."},
        {"other host",
         [&] {
             release("yt-dlp/yt-dlp", {{{"name", ytdlpAsset},
                                        {"browser_download_url", "https://mirror.invalid/x"}}});
         },
         1,
         "The download address of " + ytdlpAsset +
             " is not on the release service: https://mirror.invalid/x"},
        {"asset gone",
         [&] {
             release("yt-dlp/yt-dlp", {{{"name", ytdlpAsset},
                                        {"browser_download_url", server.url("/gone")},
                                        {"digest", "sha256:" + Sha256::hex(ytdlp)}}});
         },
         2, "The server answered with HTTP status 404 for " + server.url("/gone") + "."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        expectRefused("Quaymark.Network", c.code, c.description);
    }

    // The server's certificate is trusted only when the configuration says so.
    publish("1.0");
    config.endpoints.trustedCertificates.clear();
    const DownloadError untrusted = failure();
    EXPECT_EQ(untrusted.code, 5);
    EXPECT_TRUE(untrusted.description.starts_with("Could not download " + server.url(latest)))
        << untrusted.description;
    config.endpoints.trustedCertificates = server.certificate();

    // Nothing is fetched once a stop is asked for.
    std::stop_source stop;
    stop.request_stop();
    const size_t before = server.requests().size();
    EXPECT_THROW(install(stop.get_token()), DownloadCancelled);
    EXPECT_EQ(server.requests().size(), before);
    EXPECT_EQ(installed(), std::vector<std::string>{});
}

TEST_F(ToolInstallerTest, UnsafeOrIncompleteArchivesAreRefused) {
    publish("1.0");
    const struct {
        std::vector<test::ZipEntry> entries;
        std::string detail;
    } cases[] = {
        {{{"deno", helper("deno")}, {"../escaped", "x"}},
         "Could not unpack " + denoAsset + ": the entry \"../escaped\" lies outside the " +
             "archive's folder."},
        {{{"bin/deno", helper("deno")}}, denoAsset + " does not hold deno at its top level."},
        {{{"real", "", Kind::Folder}, {"deno", "real", Kind::Link}},
         denoAsset + " does not hold deno at its top level."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.detail);
        publishDeno(test::zipBytes(c.entries));
        expectRefused("Quaymark.Tools", 4, c.detail);
        EXPECT_FALSE(fs::exists(root / "escaped"));
    }
}

TEST_F(ToolInstallerTest, AToolThatFailsItsTrialRunIsTheError) {
    publish("1.0");
    install();
    const std::string broken = "#!/bin/sh\necho 'yt-dlp: broken build'\nexit 3\n";
    release("yt-dlp/yt-dlp", {asset(ytdlpAsset, broken, "sha256:" + Sha256::hex(broken))});
    const DownloadError error = failure();
    EXPECT_EQ(error.domain, "Quaymark.Download");
    EXPECT_EQ(error.code, 3);
    EXPECT_EQ(error.description, "yt-dlp: broken build\n");
    // The tools installed before stay as they were.
    EXPECT_EQ(installed(), (std::vector<std::string>{"deno", "yt-dlp"}));
    EXPECT_EQ(test::readFile(tools / "yt-dlp"), helper("yt-dlp 1.0"));

    const std::string stuck = "#!/bin/sh\nexec sleep 600\n";
    release("yt-dlp/yt-dlp", {asset(ytdlpAsset, stuck, "sha256:" + Sha256::hex(stuck))});
    config.trialLimit = std::chrono::milliseconds(100);
    const DownloadError late = failure();
    EXPECT_EQ(late.domain, "Quaymark.Tools");
    EXPECT_EQ(late.code, 5);
    EXPECT_EQ(late.description, "yt-dlp did not answer --version in time; installation stopped.");
    EXPECT_EQ(test::readFile(tools / "yt-dlp"), helper("yt-dlp 1.0"));
}

TEST_F(ToolInstallerTest, MediaHelpersComeFromTheSystemOrAPinnedArchive) {
    publish("1.0");
    fs::remove_all(system);

    // Neither on the system nor pinned: nothing is fetched at all.
    expectRefused("Quaymark.Tools", 3,
                  "FFmpeg is not installed. Install it with your package manager, then try again.");
    EXPECT_EQ(server.requests().size(), 0u);

    const std::string ffmpeg = test::zipBytes({{"ffmpeg", helper("ffmpeg 9", "-version")}});
    const std::string ffprobe = test::zipBytes({{"ffprobe", helper("ffprobe 9", "-version")}});
    server.serve("/media/ffmpeg.zip", ffmpeg);
    server.serve("/media/ffprobe.zip", ffprobe);
    config.media[0].digest = Sha256::hex(ffmpeg);
    config.media[1].digest = Sha256::hex(ffmpeg);
    expectRefused("Quaymark.Tools", 2, "Media helper checksum mismatch; installation stopped.");
    EXPECT_EQ(server.requestedPaths().back(), "/media/ffprobe.zip");

    config.media[1].digest = Sha256::hex(ffprobe);
    install();
    EXPECT_EQ(installed(), (std::vector<std::string>{"deno", "ffmpeg", "ffprobe", "yt-dlp"}));
    EXPECT_EQ(test::readFile(tools / "ffprobe"), helper("ffprobe 9", "-version"));
    EXPECT_TRUE(DownloadTools({tools}).ready());

    // One on the system, the other pinned.
    systemTool("ffmpeg");
    fs::remove(tools / "ffmpeg");
    config.media[0].digest.clear();
    install();
    EXPECT_EQ(installed(), (std::vector<std::string>{"deno", "ffprobe", "yt-dlp"}));
}

} // namespace
} // namespace quaymark
