// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadFixture.h"
#include "HttpsTestServer.h"
#include "TestZip.h"
#include "ingest/records/Sha256.h"

#include <QSignalSpy>
#include <QThread>

#include <nlohmann/json.hpp>

namespace quaymark::test {
namespace {

std::string helper(const std::string& version) {
    return "#!/bin/sh\necho '" + version + "'\n";
}

// A yt-dlp current enough for the command line: its help lists every option it uses.
std::string currentYtDlp() {
    return "#!/bin/sh\nif [ \"$1\" = --help ]; then\n"
           "  echo '  --js-runtimes RUNTIME --progress-delta SECONDS --progress-template T'\n"
           "else\n  echo 'yt-dlp 1.0'\nfi\n";
}

// A local release service with yt-dlp and deno, and models that install from it.
class DownloadModelToolsTest : public DownloadFixture {
protected:
    DownloadModelToolsTest() {
        const std::string ytdlp = currentYtDlp();
        const std::string deno = zipBytes({{"deno", helper("deno 1.0")}});
        publish("yt-dlp/yt-dlp", std::string(releaseTools()[0].asset), ytdlp);
        publish("denoland/deno", std::string(releaseTools()[1].asset), deno);
    }

    void publish(const std::string& repository, const std::string& name, const std::string& bytes) {
        server.serve("/files/" + name, bytes);
        const nlohmann::json asset{{"name", name},
                                   {"browser_download_url", server.url("/files/" + name)},
                                   {"digest", "sha256:" + Sha256::hex(bytes)}};
        server.serve("/repos/" + repository + "/releases/latest",
                     nlohmann::json{{"assets", nlohmann::json::array({asset})}}.dump());
    }

    // The tools folder first, then the system's own folder with Debian's ffmpeg.
    std::unique_ptr<DownloadModel> makeInstallingModel() {
        DownloadModel::Setup setup;
        setup.dataFolder = text(data);
        setup.tools = DownloadTools({tools, "/usr/bin"});
        setup.folderPicker = &picker;
        setup.installer.endpoints = {server.url(), "127.0.0.1", server.url("/media/"),
                                     server.certificate()};
        setup.installer.toolsFolder = tools;
        setup.installer.media = {MediaTool{"ffmpeg", "ffmpeg.zip", ""},
                                 MediaTool{"ffprobe", "ffprobe.zip", ""}};
        return std::make_unique<DownloadModel>(std::move(setup));
    }

    HttpsTestServer server;
};

TEST_F(DownloadModelToolsTest, InstallsTheToolsAndUsesTheSystemsFfmpeg) {
    ASSERT_TRUE(fs::exists("/usr/bin/ffmpeg") && fs::exists("/usr/bin/ffprobe"))
        << "scripts/install-deps.sh installs Debian's ffmpeg";
    const auto model = makeInstallingModel();
    QList<bool> installing;
    bool onMainThread = true;
    QObject::connect(model->tools(), &ToolsSetup::statusChanged, model.get(),
                     [&] { onMainThread &= QThread::currentThread() == model->thread(); });
    QObject::connect(model->tools(), &ToolsSetup::installingChanged, model.get(),
                     [&] { installing.append(model->tools()->installing()); });

    model->tools()->install();
    model->tools()->install(); // already installing: nothing more is fetched
    ASSERT_TRUE(waitUntil([&] { return !model->tools()->installing(); }));
    EXPECT_EQ(installing, (QList<bool>{true, false}));
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(model->message(), QString());
    EXPECT_EQ(server.requests().size(), 4u);
    // A fresh model finds them at once.
    EXPECT_EQ(makeInstallingModel()->tools()->status(), u"Download tools ready");
}

// The model's installer thread must not outlive it, nor leave a half-made tools folder behind.
TEST_F(DownloadModelToolsTest, AModelGoingAwayMidInstallationLeavesNoStagingFolder) {
    for (int round = 0; round < 5; ++round) {
        makeInstallingModel()->tools()->install();
        fs::create_directories(tools);
        for (const auto& entry : fs::directory_iterator(tools)) {
            EXPECT_FALSE(entry.path().filename().string().starts_with("setup-"));
        }
    }
}

} // namespace
} // namespace quaymark::test
