// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindowFixture.h"
#include "QtPrinting.h"
#include "TestFiles.h"

#include <QSignalSpy>
#include <QVariant>

#include <gtest/gtest.h>

namespace quaymark {
namespace {

namespace fs = std::filesystem;
using test::click;
using test::find;
using test::text;
using test::textOf;

using MainWindowScreenTest = test::MainWindowTest;

TEST_F(MainWindowScreenTest, EmptyPanesInviteAChoiceAndTheDialogFillsThem) {
    EXPECT_EQ(paneText("sourcePane", "chooseButton"), u"Choose");
    EXPECT_EQ(paneText("sourcePane", "heading"), u"Choose your media");
    EXPECT_EQ(paneText("sourcePane", "countLabel"), u"No folder selected");
    EXPECT_TRUE(paneShows("sourcePane", "dropTarget"));
    EXPECT_EQ(paneText("targetPane", "heading"), u"Where should it go?");
    EXPECT_TRUE(screen->find("destinationHint")->isVisible())
        << "no destination: the copy-destination list shows its hint";
    auto* start = screen->find("startButton");
    EXPECT_EQ(textOf(start), u"Start import");
    EXPECT_FALSE(start->isEnabled());

    QSignalSpy requests(&screen->actions(), &ShellActions::folderRequested);
    auto* drop = find(pane("sourcePane"), "dropTarget");
    ASSERT_GT(drop->height(), 50) << drop->width();
    click(drop);
    ASSERT_EQ(requests.count(), 1);
    EXPECT_EQ(requests[0][0].toString(), u"Choose a camera card, SSD or source folder");

    test::writeFile(home / "CARD/A001.MP4", "clip");
    test::writeFile(home / "CARD/notes.txt", "text");
    fs::create_directories(home / "CARD/DCIM");
    answerDialog(home / "CARD");
    EXPECT_EQ(model->source(), text(home / "CARD"));
    EXPECT_EQ(paneText("sourcePane", "chooseButton"), u"Change");
    EXPECT_EQ(paneText("sourcePane", "heading"), u"CARD");
    EXPECT_EQ(paneText("sourcePane", "countLabel"), u"3 items");
    EXPECT_EQ(paneText("sourcePane", "hintLabel"), u"Double-click folders to open");
    EXPECT_FALSE(paneShows("sourcePane", "dropTarget"));
    EXPECT_TRUE(paneShows("sourcePane", "entryList"));
    EXPECT_FALSE(start->isEnabled()) << "a source alone cannot start";

    click(find(pane("targetPane"), "chooseButton"));
    EXPECT_EQ(requests.last()[0].toString(),
              u"Choose your main destination — local or mounted network folder");
    fs::create_directories(home / "MAIN");
    answerDialog(home / "MAIN");
    EXPECT_EQ(paneText("targetPane", "heading"), u"MAIN");
    EXPECT_EQ(paneText("targetPane", "emptyLabel"), u"This folder is empty");
    EXPECT_TRUE(paneShows("targetPane", "emptyLabel"));
    EXPECT_TRUE(start->isEnabled());
}

TEST_F(MainWindowScreenTest, LinksAreNeverOpenedAndFoldersOpenOnDoubleClick) {
    fs::create_directories(home / "CARD/DCIM");
    fs::create_symlink(home / "CARD/DCIM", home / "CARD/shortcut");
    test::writeFile(home / "CARD/clip.MOV", std::string(1500, 'x'));
    model->setSource(text(home / "CARD"));
    ASSERT_TRUE(test::settle());
    screen->render();

    auto* list = find(pane("sourcePane"), "entryList");
    ASSERT_NE(list, nullptr);
    QStringList icons;
    for (auto* icon : test::findAll(list, QStringLiteral("entryIcon"))) {
        icons.append(icon->property("name").toString());
    }
    icons.sort();
    EXPECT_EQ(icons, (QStringList{QStringLiteral("film"), QStringLiteral("folder.fill"),
                                  QStringLiteral("link")}));

    const auto rowOf = [&](const char* symbol) -> QQuickItem* {
        for (auto* icon : test::findAll(list, QStringLiteral("entryIcon"))) {
            if (icon->property("name").toString() == QLatin1String(symbol)) {
                return icon->parentItem();
            }
        }
        return nullptr;
    };
    test::doubleClick(rowOf("link"));
    ASSERT_TRUE(test::settle());
    EXPECT_EQ(model->source(), text(home / "CARD")) << "a link to a folder is not opened";

    test::doubleClick(rowOf("folder.fill"));
    ASSERT_TRUE(test::settle());
    EXPECT_EQ(model->source(), text(home / "CARD/DCIM"));
    screen->render();
    EXPECT_EQ(paneText("sourcePane", "emptyLabel"), u"This folder is empty");

    model->setVideosOnly(true);
    ASSERT_TRUE(test::settle());
    screen->render();
    EXPECT_EQ(paneText("sourcePane", "emptyLabel"), u"No video clips found");
    EXPECT_EQ(paneText("sourcePane", "hintLabel"), u"Video clips across all subfolders");
}

TEST_F(MainWindowScreenTest, AFailedListingShowsItsErrorAndTheRootHasNoParent) {
    fs::create_directories(home / "GONE/sub");
    model->setSource(text(home / "GONE"));
    ASSERT_TRUE(test::settle());
    fs::remove_all(home / "GONE");
    model->reloadSource();
    ASSERT_TRUE(test::settle());
    screen->render();
    EXPECT_TRUE(paneShows("sourcePane", "errorLabel"));
    EXPECT_FALSE(paneText("sourcePane", "errorLabel").isEmpty());
    EXPECT_FALSE(paneShows("sourcePane", "entryList"));

    auto* parent = find(pane("sourcePane"), "parentButton");
    EXPECT_TRUE(parent->isEnabled());
    model->setSource(QStringLiteral("/"));
    ASSERT_TRUE(test::settle());
    EXPECT_FALSE(parent->isEnabled());
}

TEST_F(MainWindowScreenTest, RemovingTheMainDestinationRenumbersTheBackups) {
    for (const char* name : {"A", "B", "C"}) {
        fs::create_directories(home / name);
    }
    model->chooseTarget(false, text(home / "A"));
    model->chooseTarget(true, text(home / "B"));
    model->chooseTarget(true, text(home / "C"));
    ASSERT_TRUE(test::settle());
    screen->render();
    EXPECT_EQ(textOf(screen->find("destinationCount")), u"3");
    EXPECT_EQ(destinationCaptions(),
              (QStringList{QStringLiteral("BACKUP 1"), QStringLiteral("BACKUP 2"),
                           QStringLiteral("MAIN COPY")}));

    QQuickItem* firstRemove = nullptr;
    auto* cards = screen->find("destinationCards");
    for (auto* button : test::findAll(cards, QStringLiteral("removeDestination"))) {
        if (!firstRemove || button->mapToScene({0, 0}).x() < firstRemove->mapToScene({0, 0}).x()) {
            firstRemove = button;
        }
    }
    click(firstRemove);
    ASSERT_TRUE(test::settle());
    screen->render();
    EXPECT_EQ(model->targets(), (QStringList{text(home / "B"), text(home / "C")}));
    EXPECT_EQ(destinationCaptions(),
              (QStringList{QStringLiteral("BACKUP 1"), QStringLiteral("MAIN COPY")}));
    EXPECT_EQ(paneText("targetPane", "heading"), u"B") << "the former backup is shown as main";

    EXPECT_EQ(test::makeAppModel(home.path(), nullptr)->targets(), model->targets())
        << "saved at once";
}

TEST_F(MainWindowScreenTest, StartButtonQueuesWhileAnImportRunsAndTheAlertShowsRefusals) {
    test::writeFile(home / "CARD/A001.MP4", test::patternBytes(20'000));
    fs::create_directories(home / "MAIN");
    model->setSource(text(home / "CARD"));
    model->chooseTarget(false, text(home / "MAIN"));
    ASSERT_TRUE(test::settle());
    screen->render();

    auto* start = screen->find("startButton");
    ASSERT_TRUE(start->isEnabled());
    click(start);
    EXPECT_TRUE(model->queue()->processing());
    EXPECT_EQ(textOf(start), u"Queue import");
    EXPECT_EQ(textOf(screen->find("footerText")),
              u"Keep all source and destination drives connected until verification finishes.");

    click(start);
    auto* alert = screen->find<QObject>("statusAlert");
    EXPECT_TRUE(alert->property("visible").toBool());
    EXPECT_EQ(textOf(screen->find("statusText")), u"This source is already in the import queue.");
    model->setMessage(QStringLiteral("Another message"));
    EXPECT_EQ(textOf(screen->find("statusText")), u"Another message");
    QMetaObject::invokeMethod(alert, "accept");
    EXPECT_EQ(model->message(), QString()) << "OK clears the message";

    ASSERT_TRUE(test::waitFor([&] { return !model->queue()->processing(); }));
    EXPECT_EQ(textOf(start), u"Start import");
    ASSERT_EQ(model->queue()->batches().size(), 1);
    EXPECT_EQ(model->queue()->batches()[0]->state(), ImportBatch::State::Verified);
}

TEST_F(MainWindowScreenTest, MenuShortcutsOpenTheDialogsAndStartFollowsCanStart) {
    QSignalSpy requests(&screen->actions(), &ShellActions::folderRequested);
    screen->window()->requestActivate();
    QTest::keyClick(screen->window(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(requests.count(), 1);
    EXPECT_EQ(requests[0][0].toString(), u"Choose a camera card, SSD or source folder");
    dismissDialog();
    EXPECT_EQ(model->source(), QString()) << "a dismissed dialog changes nothing";

    QTest::keyClick(screen->window(), Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(requests.count(), 2);
    EXPECT_EQ(requests[1][0].toString(), u"Choose a backup destination");
    dismissDialog();

    test::writeFile(home / "CARD/A001.MP4", "clip");
    model->setSource(text(home / "CARD"));
    QTest::keyClick(screen->window(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(model->queue()->batches().isEmpty()) << "disabled without a destination";

    QTest::keyClick(screen->window(), Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_TRUE(model->showSettings());
}

TEST_F(MainWindowScreenTest, SidebarSwitchesSectionsAndFollowsAutomaticIngest) {
    auto* enroll = screen->find("enrollButton");
    EXPECT_EQ(textOf(enroll), u"Enroll source drive");
    EXPECT_FALSE(enroll->isEnabled()) << "no source, nothing to enrol";
    EXPECT_EQ(textOf(screen->find("autoNote")),
              u"Enroll a card or SSD, then turn this on for hands-free imports.");
    click(screen->find("autoSwitch"));
    EXPECT_TRUE(model->autoEnabled());
    EXPECT_EQ(textOf(screen->find("autoNote")),
              u"Newly connected enrolled drives import to every saved destination. Keep the app "
              u"running.");
    model->setAutoEnabled(false);
    EXPECT_FALSE(screen->find("autoSwitch")->property("checked").toBool());

    click(screen->find("downloadsSection"));
    screen->render();
    EXPECT_FALSE(screen->find("importScreen")->isVisible());
    EXPECT_TRUE(screen->find("downloadsView")->isVisible());
    click(screen->find("ingestSection"));
    screen->render();
    EXPECT_TRUE(screen->find("importScreen")->isVisible());

    auto* sheet = screen->find<QObject>("importSettings");
    model->setShowSettings(true);
    EXPECT_TRUE(sheet->property("visible").toBool());
    QMetaObject::invokeMethod(sheet, "reject");
    EXPECT_FALSE(model->showSettings()) << "dismissing the sheet clears the request";
}

TEST_F(MainWindowScreenTest, RecoveryMenuCountsTheInterruptedImports) {
    auto* button = screen->find("recoveryMenuButton");
    EXPECT_FALSE(button->isVisible());
    model->rememberRecovery(text(home / "MAIN/2026-01-02/FX6_1010"));
    model->rememberRecovery(text(home / "BACKUP/2026-01-02/FX6_1010 2"));
    screen->render();
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(textOf(button), u"2 interrupted import(s) available to recover");
    auto* menu = screen->find<QObject>("recoveryMenu");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->property("count").toInt(), 2);
    QStringList items;
    for (int i = 0; i < 2; ++i) {
        QQuickItem* item = nullptr;
        QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, item), Q_ARG(int, i));
        items.append(textOf(item));
    }
    EXPECT_EQ(items, (QStringList{QStringLiteral("FX6_1010"), QStringLiteral("FX6_1010 2")}));

    // Any other interrupted import is found through the folder dialog.
    QSignalSpy requests(&screen->actions(), &ShellActions::folderRequested);
    click(screen->find("recoverButton"));
    ASSERT_EQ(requests.count(), 1);
    EXPECT_EQ(requests[0][0].toString(),
              u"Choose an interrupted import folder containing _QUAYMARK_SESSION.json");
    dismissDialog();
}

} // namespace
} // namespace quaymark
