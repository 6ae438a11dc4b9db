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

// What the observers saw of the tool status, and on which thread.
struct StatusHistory {
    QStringList statuses;
    QList<bool> installing;
    bool onMainThread = true;

    void watch(DownloadModel& model) {
        QObject::connect(model.tools(), &ToolsSetup::statusChanged, &model, [this, &model] {
            onMainThread &= QThread::currentThread() == model.thread();
            statuses.append(model.tools()->status());
        });
        QObject::connect(model.tools(), &ToolsSetup::installingChanged, &model,
                         [this, &model] { installing.append(model.tools()->installing()); });
    }
};

TEST_F(DownloadModelToolsTest, InstallsTheToolsAndUsesTheSystemsFfmpeg) {
    ASSERT_TRUE(fs::exists("/usr/bin/ffmpeg") && fs::exists("/usr/bin/ffprobe"))
        << "scripts/install-deps.sh installs Debian's ffmpeg";
    const auto model = makeInstallingModel();
    StatusHistory history;
    history.watch(*model);

    model->tools()->install();
    EXPECT_TRUE(model->tools()->installing());
    model->tools()->install(); // already installing: nothing more is fetched
    ASSERT_TRUE(waitUntil([&] { return !model->tools()->installing(); }));

    EXPECT_FALSE(history.statuses.isEmpty());
    EXPECT_EQ(history.installing, (QList<bool>{true, false}));
    EXPECT_TRUE(history.onMainThread);
    EXPECT_TRUE(model->tools()->ready());
    EXPECT_EQ(model->message(), QString());
    EXPECT_EQ(server.requests().size(), 4u);

    // A fresh model finds them at once.
    EXPECT_EQ(makeInstallingModel()->tools()->status(), u"Download tools ready");
}

TEST_F(DownloadModelToolsTest, NothingIsInstalledWhileADownloadRuns) {
    installTools();
    const auto model = makeInstallingModel();
    addProject(*model, picker, QStringLiteral("Busy"), home / "videos");
    paste(*model, {QStringLiteral("https://videos.example/watch/pause")});
    model->queue()->downloadAll();
    ASSERT_TRUE(model->queue()->busy());

    model->tools()->install();
    EXPECT_FALSE(model->tools()->installing());
    model->queue()->pauseAll();
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));
    EXPECT_EQ(server.requests().size(), 0u);
    EXPECT_EQ(model->tools()->status(), u"Download tools ready");
}

TEST_F(DownloadModelToolsTest, AModelGoingAwayMidInstallationLeavesNoStagingFolder) {
    for (int round = 0; round < 5; ++round) {
        auto model = makeInstallingModel();
        model->tools()->install();
        model.reset();
        fs::create_directories(tools);
        for (const auto& entry : fs::directory_iterator(tools)) {
            EXPECT_FALSE(entry.path().filename().string().starts_with("setup-"));
        }
    }
}

} // namespace
} // namespace quaymark::test
