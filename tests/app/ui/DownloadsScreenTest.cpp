// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindowFixture.h"
#include "QtPrinting.h"
#include "app/downloads/DownloadModel.h"

#include <gtest/gtest.h>

namespace quaymark {
namespace {

namespace fs = std::filesystem;
using test::click;
using test::find;
using test::text;
using test::textOf;

bool shown(QQuickItem* item) {
    return item && item->isVisible();
}

// The downloads area of the real main window over real models.
class DownloadsScreenTest : public test::MainWindowTest {
protected:
    std::unique_ptr<DownloadModel> downloads = test::makeDownloadModel(home.path(), &actions);
    QQuickWindow* window = nullptr;

    DownloadModel* downloadModel() override { return downloads.get(); }

    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        window = screen->window();
        find<QObject>(window, "contentView")->setProperty("section", QStringLiteral("downloads"));
        render();
    }

    void render() const { screen->render(); }

    QQuickItem* item(const char* name) const { return screen->find(name); }

    // Types as the user does, into the field that has the focus after a click.
    void type(const char* name, const QString& typed) {
        click(item(name));
        test::type(window, typed);
        render();
    }

    // Pastes `links` into the link box and adds them.
    void addLinks(const QString& links) {
        item("linkBox")->setProperty("text", links);
        render();
        click(item("addLinksButton"));
        render();
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
    answerDialog(home / "videos");
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
