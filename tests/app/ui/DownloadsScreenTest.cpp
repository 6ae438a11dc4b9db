// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtPrinting.h"
#include "ScreenHarness.h"
#include "TestFiles.h"
#include "app/downloads/DownloadModel.h"
#include "app/ui/QuayTheme.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace quaymark {
namespace {

// Key presses for plain ASCII text (QTest types whole strings only into widgets).
void typeText(QWindow* window, const QString& typed) {
    for (const QChar character : typed) {
        QTest::keyClick(window, character.toLatin1());
    }
}

namespace fs = std::filesystem;
using test::click;
using test::find;
using test::text;
using test::textOf;

const QString rowScene = QStringLiteral(R"(
import QtQuick
import Quaymark
Window {
    id: window
    required property var link
    property int removed: 0
    property string revealed
    DownloadLinkRow {
        objectName: "row"
        width: window.width - 20
        x: 10; y: 10
        link: window.link
        onRemove: window.removed++
        onReveal: (path) => window.revealed = path
    }
}
)");

QVariantMap link(LinkState state, double speed = 0, const QString& speedText = {}) {
    VideoLink record;
    record.state = state;
    return {{QStringLiteral("id"), QStringLiteral("0A1B2C3D-0000-4000-8000-000000000001")},
            {QStringLiteral("url"), QStringLiteral("https://videos.example/watch?v=1")},
            {QStringLiteral("title"), QStringLiteral("Harbour at dawn")},
            {QStringLiteral("state"), static_cast<int>(state)},
            {QStringLiteral("stateText"), stateText(record)},
            {QStringLiteral("fraction"), 0.4},
            {QStringLiteral("speed"), speed},
            {QStringLiteral("speedText"), speedText},
            {QStringLiteral("output"), QString()},
            {QStringLiteral("error"), QString()}};
}

bool shown(QQuickItem* item) {
    return item && item->isVisible();
}

TEST(DownloadLinkRowTest, ButtonsAndSpeedFollowTheState) {
    test::ComponentHarness scene(
        rowScene,
        {{QStringLiteral("link"), link(LinkState::Downloading, 0, QStringLiteral("— MB/s"))}},
        QSize(900, 200));
    QObject* window = scene.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(shown(scene.find("linkSpeed")));
    EXPECT_EQ(textOf(scene.find("linkSpeed")), u"— MB/s");
    EXPECT_FALSE(shown(scene.find("removeButton")));
    EXPECT_FALSE(shown(scene.find("revealButton")));

    window->setProperty("link", link(LinkState::Merging));
    EXPECT_FALSE(shown(scene.find("removeButton")));
    EXPECT_FALSE(shown(scene.find("linkSpeed")));

    QVariantMap failed = link(LinkState::Failed);
    failed[QStringLiteral("error")] = QStringLiteral("ERROR: HTTP Error 404: Not Found\n");
    window->setProperty("link", failed);
    EXPECT_TRUE(shown(scene.find("removeButton")));
    EXPECT_EQ(test::colorOf(scene.find("linkState")), QuayTheme::orange().name(QColor::HexArgb));
    EXPECT_TRUE(shown(scene.find("linkError")));
    scene.window()->grabWindow();
    click(scene.find("removeButton"));
    EXPECT_EQ(window->property("removed").toInt(), 1);

    QVariantMap done = link(LinkState::Downloaded);
    done[QStringLiteral("output")] = QStringLiteral("/videos/Harbour at dawn [Youtube-1].mkv");
    window->setProperty("link", done);
    scene.window()->grabWindow();
    EXPECT_TRUE(shown(scene.find("removeButton")));
    EXPECT_FALSE(shown(scene.find("linkError")));
    EXPECT_EQ(test::colorOf(scene.find("linkState")), QuayTheme::mint().name(QColor::HexArgb));
    ASSERT_TRUE(shown(scene.find("revealButton")));
    click(scene.find("revealButton"));
    EXPECT_EQ(window->property("revealed").toString(), u"/videos/Harbour at dawn [Youtube-1].mkv");
}

// The downloads area of the real main window over real models.
class DownloadsScreenTest : public ::testing::Test {
protected:
    test::TempDir home;
    ShellActions actions;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<DownloadModel> downloads;
    std::unique_ptr<test::MainWindowHarness> screen;
    QQuickWindow* window = nullptr;

    void SetUp() override {
        model = test::makeAppModel(home.path(), &actions);
        downloads = test::makeDownloadModel(home.path(), &actions);
        ASSERT_TRUE(test::settle());
        screen = std::make_unique<test::MainWindowHarness>(*model, actions, downloads.get());
        window = screen->window();
        ASSERT_NE(window, nullptr);
        find<QObject>(window, "contentView")->setProperty("section", QStringLiteral("downloads"));
        render();
    }

    void TearDown() override {
        screen.reset();
        downloads.reset();
        model.reset();
        test::settle();
    }

    void render() const {
        QCoreApplication::processEvents();
        window->grabWindow();
    }

    QQuickItem* item(const char* name) const { return find(window, name); }

    // Types as the user does, into the field that has the focus after a click.
    void type(const char* name, const QString& typed) {
        click(item(name));
        typeText(window, typed);
        render();
    }

    // Pastes `links` into the link box and adds them.
    void addLinks(const QString& links) {
        item("linkBox")->setProperty("text", links);
        render();
        click(item("addLinksButton"));
        render();
    }

    // Answers the window's folder dialog as the user does: Ctrl+L, the path, Return.
    void answerDialog(const fs::path& folder) const {
        QTest::keyClick(window, Qt::Key_L, Qt::ControlModifier);
        typeText(window, text(folder));
        QTest::keyClick(window, Qt::Key_Return);
    }
};

TEST_F(DownloadsScreenTest, AProjectIsCreatedFilledAndCountedThroughTheScreen) {
    EXPECT_TRUE(shown(item("noProject")));
    EXPECT_FALSE(item("createProjectButton")->isEnabled());
    type("newProjectField", QStringLiteral("   "));
    EXPECT_FALSE(item("createProjectButton")->isEnabled()); // blanks make no name
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_TRUE(downloads->projects().isEmpty());

    type("newProjectField", QStringLiteral("Harbour"));
    EXPECT_TRUE(item("createProjectButton")->isEnabled());
    QTest::keyClick(window, Qt::Key_Return);
    render();
    ASSERT_EQ(downloads->projects().size(), 1);
    EXPECT_EQ(downloads->projects()[0].name, u"Harbour");
    EXPECT_EQ(textOf(item("newProjectField")), u"");
    EXPECT_EQ(textOf(item("projectCount")), u"0/0 downloaded");
    EXPECT_TRUE(shown(item("noLinks")));
    EXPECT_EQ(textOf(item("projectFolder")), u"Choose where this project should be saved");
    EXPECT_FALSE(shown(item("openFolderButton")));

    EXPECT_FALSE(item("addLinksButton")->isEnabled());
    addLinks(QStringLiteral("https://videos.example/a\n"
                            "ftp://videos.example/b\n"
                            "https://videos.example/a\n"
                            "https://videos.example/c"));
    EXPECT_EQ(textOf(item("linksCaption")), u"2 VIDEO LINKS");
    EXPECT_EQ(textOf(item("projectCount")), u"0/2 downloaded");
    EXPECT_EQ(textOf(item("linkBox")), u"");
    EXPECT_EQ(test::findAll(window, QStringLiteral("linkRow")).size(), 2);

    auto* alert = find<QObject>(window, "downloadsAlert");
    ASSERT_TRUE(alert->property("visible").toBool());
    EXPECT_EQ(textOf(item("downloadsAlertText")),
              u"1 invalid link(s) skipped. Paste one HTTP or HTTPS video link per line.");
    QMetaObject::invokeMethod(alert, "accept");
    render();
    EXPECT_EQ(downloads->message(), u"");

    // Links without a folder cannot be downloaded yet.
    EXPECT_FALSE(item("downloadAllButton")->isEnabled());
    fs::create_directories(home / "videos");
    click(item("chooseFolderButton"));
    ASSERT_TRUE(actions.folderPending());
    answerDialog(home / "videos");
    EXPECT_FALSE(actions.folderPending());
    render();
    EXPECT_TRUE(textOf(item("projectFolder")).startsWith(text(home / "videos") + u"/Harbour_"));
    EXPECT_TRUE(shown(item("openFolderButton")));
    EXPECT_TRUE(item("downloadAllButton")->isEnabled());

    // Without tools the tools bar asks for them, and a download says so.
    EXPECT_EQ(textOf(item("installToolsButton")), u"Install download tools");
    EXPECT_EQ(textOf(item("toolStatus")), u"Install download tools once to get started");
    click(item("downloadAllButton"));
    render();
    EXPECT_EQ(textOf(item("downloadsAlertText")),
              u"Install the download tools first. This keeps the Quaymark app itself small.");
}

TEST_F(DownloadsScreenTest, SwitchingSectionsKeepsWhatWasTyped) {
    type("newProjectField", QStringLiteral("Half typed"));
    auto* content = find<QObject>(window, "contentView");
    content->setProperty("section", QStringLiteral("ingest"));
    render();
    content->setProperty("section", QStringLiteral("downloads"));
    render();
    EXPECT_EQ(textOf(item("newProjectField")), u"Half typed");
    EXPECT_EQ(downloads->newName(), u"Half typed");
}

} // namespace
} // namespace quaymark
