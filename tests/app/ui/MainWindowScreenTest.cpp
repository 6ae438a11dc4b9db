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

TEST_F(MainWindowScreenTest, LinksAreNeverOpenedAndFoldersOpenOnDoubleClick) {
    fs::create_directories(home / "CARD/DCIM");
    fs::create_symlink(home / "CARD/DCIM", home / "CARD/shortcut");
    test::writeFile(home / "CARD/clip.MOV", std::string(1500, 'x'));
    model->setSource(text(home / "CARD"));
    ASSERT_TRUE(test::settle());
    screen->render();

    auto* list = find(pane("sourcePane"), "entryList");
    ASSERT_NE(list, nullptr);
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
}

TEST_F(MainWindowScreenTest, StartButtonQueuesWhileAnImportRunsAndTheAlertShowsRefusals) {
    test::writeFile(home / "CARD/A001.MP4", test::patternBytes(20'000));
    fs::create_directories(home / "MAIN");
    auto* start = screen->find("startButton");
    click(find(pane("sourcePane"), "dropTarget"));
    answerDialog(home / "CARD");
    EXPECT_EQ(model->source(), text(home / "CARD"));
    EXPECT_FALSE(start->isEnabled()) << "a source alone cannot start";
    model->chooseTarget(false, text(home / "MAIN"));
    ASSERT_TRUE(test::settle());
    screen->render();

    ASSERT_TRUE(start->isEnabled());
    click(start);
    EXPECT_TRUE(model->queue()->processing());

    click(start);
    auto* alert = screen->find<QObject>("statusAlert");
    EXPECT_TRUE(alert->property("visible").toBool());
    EXPECT_EQ(textOf(screen->find("statusText")), u"This source is already in the import queue.");
    model->setMessage(QStringLiteral("Another message"));
    EXPECT_EQ(textOf(screen->find("statusText")), u"Another message");
    QMetaObject::invokeMethod(alert, "accept");
    EXPECT_EQ(model->message(), QString()) << "OK clears the message";

    ASSERT_TRUE(test::waitFor([&] { return !model->queue()->processing(); }));
    ASSERT_EQ(model->queue()->batches().size(), 1);
    EXPECT_EQ(model->queue()->batches()[0]->state(), ImportBatch::State::Verified);
}

TEST_F(MainWindowScreenTest, RecoveryMenuCountsTheInterruptedImports) {
    click(screen->find("autoSwitch"));
    EXPECT_TRUE(model->autoEnabled());

    auto* button = screen->find("recoveryMenuButton");
    EXPECT_FALSE(button->isVisible());
    model->rememberRecovery(text(home / "MAIN/2026-01-02/FX6_1010"));
    model->rememberRecovery(text(home / "BACKUP/2026-01-02/FX6_1010 2"));
    screen->render();
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(textOf(button), u"2 interrupted import(s) available to recover");
    auto* menu = screen->find<QObject>("recoveryMenu");
    ASSERT_NE(menu, nullptr);
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
