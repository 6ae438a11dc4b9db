// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"
#include "DownloadFixture.h"
#include "QtPrinting.h"
#include "ScreenHarness.h"
#include "ShellTestHome.h"
#include "app/shell/BatchNotices.h"
#include "app/shell/QuaymarkApp.h"
#include "app/shell/QuitGuard.h"
#include "app/shell/StatusMenu.h"

#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

namespace quaymark {
namespace {

namespace fs = std::filesystem;
using test::text;

class ShellAppTest : public ::testing::Test {
protected:
    test::TempDir home;
    ShellActions actions;
    std::unique_ptr<AppModel> model = test::makeAppModel(home.path(), &actions);

    void SetUp() override {
        model->setFolderRule(QStringLiteral("{source}"));
        model->setVideosOnly(false);
        fs::create_directories(home / "MAIN");
        model->chooseTarget(false, text(home / "MAIN"));
        ASSERT_TRUE(test::settle());
    }

    void TearDown() override {
        waitIdle();
        model.reset();
        QThreadPool::globalInstance()->waitForDone(30'000);
    }

    // Starts importing a card of one clip into MAIN.
    void importCard(const char* name, const char* typed = "") {
        test::writeFile(home / name / "C0001.MP4", test::patternBytes(30'000));
        model->queue()->enqueue(text(home / name) + QString::fromUtf8(typed));
    }

    void waitIdle() {
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !model || !model->queue()->processing(); }, 60'000));
    }
};

TEST_F(ShellAppTest, QuitGuardCountsOnlyWorkOfModelsItWasGiven) {
    QuitGuard guard;
    importCard("CARD");
    ASSERT_TRUE(model->queue()->processing());
    EXPECT_FALSE(guard.workRunning()) << "before the window showed the models, nothing runs";
    guard.attach(model.get(), nullptr);
    EXPECT_TRUE(guard.workRunning());

    QSignalSpy asked(&actions, &ShellActions::quitConfirmationRequested);
    QSignalSpy quitting(&actions, &ShellActions::quitting);
    actions.guard().attach(model.get(), nullptr);
    actions.requestQuit();
    EXPECT_EQ(asked.count(), 1);
    EXPECT_EQ(quitting.count(), 0) << "the guard itself never quits while work runs";

    waitIdle();
    EXPECT_FALSE(guard.workRunning());
    model.reset();
    EXPECT_FALSE(guard.workRunning()) << "a model that is gone counts as idle";
}

class QuitGuardDownloadsTest : public test::DownloadFixture {};

TEST_F(QuitGuardDownloadsTest, RunningDownloadsKeepTheGuardUp) {
    installTools();
    auto downloads = makeModel();
    addProject(*downloads, picker, QStringLiteral("Harbour"), home / "videos");
    paste(*downloads, {QStringLiteral("https://videos.example/watch/plain")});
    QuitGuard guard;
    guard.attach(nullptr, downloads.get());
    EXPECT_FALSE(guard.workRunning());
    downloads->downloadAll();
    ASSERT_TRUE(downloads->queue()->busy());
    EXPECT_TRUE(guard.workRunning()) << "no import model is needed for downloads to count";
    ASSERT_TRUE(waitUntil([&] { return !downloads->queue()->busy(); }));
    EXPECT_FALSE(guard.workRunning());
}

TEST_F(ShellAppTest, OneFolderDialogAtATimeAndOnlyLocalFolders) {
    QSignalSpy requests(&actions, &ShellActions::folderRequested);
    std::vector<std::optional<QString>> answers;
    const auto ask = [&] {
        actions.pickFolder(QStringLiteral("Choose a folder"), QStringLiteral("Choose folder"), {},
                           [&](std::optional<QString> folder) { answers.push_back(folder); });
    };
    ask();
    ask(); // answered at once, with nothing
    actions.answerFolder(QUrl(QStringLiteral("smb://server/share")));
    actions.answerFolder(QUrl::fromLocalFile(QStringLiteral("/srv/late"))); // nobody waits
    ask();
    actions.answerFolder(QUrl::fromLocalFile(QStringLiteral("/srv/footage")));
    EXPECT_EQ(requests.count(), 2);
    EXPECT_EQ(answers, (std::vector<std::optional<QString>>{std::nullopt, std::nullopt,
                                                            QStringLiteral("/srv/footage")}));
}

TEST_F(ShellAppTest, BatchesThatEndUnseenAreAnnounced) {
    bool active = false;
    QStringList posted;
    BatchNotices notices(
        *model, [&] { return active; },
        [&](const QString& summary, const QString& body) {
            posted.append(summary + u": " + body);
        });
    importCard("CARD", "/");
    waitIdle();
    fs::remove_all(home / "MAIN");
    importCard("SECOND");
    waitIdle();
    active = true;
    fs::create_directories(home / "MAIN");
    importCard("THIRD");
    waitIdle();
    EXPECT_EQ(posted, (QStringList{QStringLiteral("Import verified: CARD"),
                                   QStringLiteral("Import needs attention: SECOND")}))
        << "nothing while the user is looking at the window";
}

// The whole application in this process, on the offscreen platform, which has no tray.
class RunningApp {
public:
    explicit RunningApp(bool automaticIngest) {
        app_.setNoticePoster(
            [this](const QString& summary, const QString&) { notices.append(summary); });
        EXPECT_TRUE(app_.start());
        app_.model()->setAutoEnabled(automaticIngest);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(app_.window()));
    }
    QuaymarkApp* operator->() { return &app_; }
    QStringList notices;

private:
    test::ShellTestHome home_;
    QuaymarkApp app_;
};

TEST(QuaymarkAppTest, ClosingWithoutATrayQuitsUnlessAutomaticIngestNeedsTheProcess) {
    {
        RunningApp app(false);
        ASSERT_FALSE(app->statusMenu()->inTray());
        QSignalSpy quitting(&app->actions(), &ShellActions::quitting);
        app->window()->close();
        EXPECT_TRUE(QTest::qWaitFor([&] { return quitting.count() == 1; }, 30'000))
            << "nothing could bring the window back: the process must not linger";
        EXPECT_TRUE(app.notices.isEmpty());
    }
    RunningApp app(true);
    QSignalSpy quitting(&app->actions(), &ShellActions::quitting);
    for (int close = 0; close < 2; ++close) {
        app->showMainWindow();
        app->window()->close();
        QCoreApplication::processEvents();
        EXPECT_FALSE(app->window()->isVisible());
    }
    EXPECT_EQ(quitting.count(), 0) << "enrolled drives still need the running process";
    EXPECT_EQ(app.notices, QStringList{QStringLiteral("Quaymark keeps running to import enrolled "
                                                      "drives. Open it again from your "
                                                      "applications.")})
        << "told once per session";
}

TEST(QuaymarkAppTest, ASecondStartRestoresAMinimisedWindowWithItsActivationToken) {
    qunsetenv("XDG_ACTIVATION_TOKEN");
    RunningApp app(false);
    QQuickWindow* window = app->window();
    window->showMinimized();
    ASSERT_TRUE(window->windowStates() & Qt::WindowMinimized);

    const auto second = test::runProcess(
        {"/usr/bin/env", "XDG_ACTIVATION_TOKEN=launcher-token_42", QUAYMARK_BINARY});
    EXPECT_EQ(second.status, 0) << second.errors;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !(window->windowStates() & Qt::WindowMinimized) && window->isVisible(); },
        30'000));
    EXPECT_EQ(qgetenv("XDG_ACTIVATION_TOKEN"), "launcher-token_42")
        << "the token is where Qt's activation request reads it";
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

} // namespace
} // namespace quaymark
