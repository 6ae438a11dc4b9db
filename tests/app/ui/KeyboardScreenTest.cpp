// SPDX-License-Identifier: GPL-3.0-or-later
// The window driven as a keyboard user, a screen reader and a file manager would: the folder
// dialog, listings, the focus order, accessible names and dropped folders.

#include "BusChild.h"
#include "MainWindowFixture.h"
#include "QtPrinting.h"
#include "app/ui/Format.h"

#include <QAccessible>
#include <QMimeData>
#include <QScreen>

namespace quaymark {
namespace {

namespace fs = std::filesystem;
using test::click;
using test::find;
using test::text;
using test::textOf;

class KeyboardScreenTest : public test::MainWindowTest {
protected:
    QObject* dialog() const { return screen->find<QObject>("folderDialog"); }
    QString shown() const { return dialog()->property("folder").toString(); }

    QStringList dialogRows() const {
        QStringList rows;
        auto* list = screen->find("chooserList");
        for (QObject* row : test::findAll<QObject>(list, QStringLiteral("chooserRow"))) {
            rows.append(row->property("fileName").toString());
        }
        rows.sort();
        return rows;
    }

    // The dialog has listed the folder it shows (not still the one before).
    void listed(int rows) const {
        auto* list = screen->find("chooserList");
        const auto current = [&] {
            screen->render();
            if (list->property("count").toInt() != rows) {
                return false;
            }
            for (QObject* row : test::findAll<QObject>(list, QStringLiteral("chooserRow"))) {
                if (Format::parentFolder(row->property("filePath").toString()) != shown()) {
                    return false;
                }
            }
            return true;
        };
        ASSERT_TRUE(test::waitFor(current))
            << list->property("count").toInt() << " rows in " << shown().toStdString();
    }

    // Ctrl+O, then whether the dialog opened.
    bool openDialog() const {
        key(Qt::Key_O, Qt::ControlModifier);
        return dialogOpen();
    }

    // Moves to a row with `arrow` and enters it.
    void enterRow(Qt::Key arrow) const {
        key(arrow);
        key(Qt::Key_Return);
    }

    // The dialog's Choose button, and the choice it makes taken in.
    void accept() const {
        click(screen->find("chooserAccept"));
        ASSERT_TRUE(test::settle());
    }

    // What the focused item tells assistive technology.
    static std::pair<QString, QAccessible::Role> spoken(QQuickItem* item) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(item);
        if (!accessible) {
            return {QString(), QAccessible::NoRole};
        }
        return {accessible->text(QAccessible::Name), accessible->role()};
    }

    void drop(QQuickItem* target, const QList<QUrl>& urls) const {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(screen->window(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(screen->window(), &move);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(screen->window(), &dropped);
        ASSERT_TRUE(test::settle());
        screen->render();
    }
};

TEST_F(KeyboardScreenTest, TheFolderDialogChoosesTheFolderItShowsUnlessARowWasPicked) {
    for (const char* folder : {"CARD/DCIM/100MSDCF", "CARD/PRIVATE/M4ROOT", "EMPTY"}) {
        fs::create_directories(home / folder);
    }
    test::writeFile(home / "CARD/notes.txt", "not a folder");

    // Typed: Ctrl+O, Ctrl+L, the path, Return.
    key(Qt::Key_O, Qt::ControlModifier);
    answerDialog(home / "CARD");
    EXPECT_EQ(model->source(), text(home / "CARD")) << "not its first sub-folder";

    // The dialog opens beside the last choice. Entering a card picks none of its folders.
    ASSERT_TRUE(openDialog());
    EXPECT_EQ(shown(), text(home.path()));
    listed(2);
    EXPECT_EQ(dialogRows(), (QStringList{QStringLiteral("CARD"), QStringLiteral("EMPTY")}));
    enterRow(Qt::Key_Down);
    EXPECT_EQ(shown(), text(home / "CARD"));
    listed(2);
    EXPECT_EQ(dialogRows(), (QStringList{QStringLiteral("DCIM"), QStringLiteral("PRIVATE")}))
        << "folders only";
    accept();
    EXPECT_EQ(model->source(), text(home / "CARD")) << "DCIM was shown but never picked";

    // A row picked with the keys is chosen; Backspace goes up; an empty folder can be chosen.
    ASSERT_TRUE(openDialog());
    listed(2);
    enterRow(Qt::Key_Down);
    listed(2);
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    accept();
    EXPECT_EQ(model->source(), text(home / "CARD/PRIVATE"));

    ASSERT_TRUE(openDialog());
    EXPECT_EQ(shown(), text(home / "CARD"));
    key(Qt::Key_Backspace);
    EXPECT_EQ(shown(), text(home.path()));
    listed(2);
    enterRow(Qt::Key_Up);
    EXPECT_EQ(shown(), text(home / "EMPTY"));
    listed(0);
    EXPECT_TRUE(screen->find("chooserEmpty")->isVisible());
    key(Qt::Key_Return);
    ASSERT_TRUE(test::settle());
    EXPECT_EQ(model->source(), text(home / "EMPTY")) << "Return with nothing picked chooses it";

    // A typed path that is no folder keeps the dialog open and says so; Escape dismisses.
    ASSERT_TRUE(openDialog());
    key(Qt::Key_L, Qt::ControlModifier);
    test::type(screen->window(), QStringLiteral("notes.txt"));
    key(Qt::Key_Return);
    EXPECT_TRUE(dialog()->property("visible").toBool());
    EXPECT_EQ(textOf(screen->find("chooserProblem")), u"There is no folder at “notes.txt”.");
    key(Qt::Key_Escape);
    key(Qt::Key_Escape);
    EXPECT_FALSE(actions.folderPending());
    EXPECT_EQ(model->source(), text(home / "EMPTY"));
}

TEST_F(KeyboardScreenTest, WithTheKeyboardAloneAWholeCardIsImportedAndVerified) {
    test::writeFile(home / "CARD/PRIVATE/M4ROOT/CLIP/C0001.MP4", test::patternBytes(40'000));
    fs::create_directories(home / "CARD/DCIM/100MSDCF");
    fs::create_directories(home / "MAIN");
    key(Qt::Key_O, Qt::ControlModifier);
    answerDialog(home / "CARD");
    key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(model->queue()->batches().isEmpty()) << "no start without a destination";
    key(Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(dialogOpen());
    dismissDialog();
    EXPECT_TRUE(model->targets().isEmpty()) << "a dismissed dialog changes nothing";
    key(Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    answerDialog(home / "MAIN");
    key(Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(model->queue()->batches().size(), 1);
    ASSERT_TRUE(test::waitFor([&] { return !model->queue()->processing(); }));
    EXPECT_EQ(model->queue()->batches()[0]->state(), ImportBatch::State::Verified);
    EXPECT_EQ(test::readFile(home / "MAIN/CARD/PRIVATE/M4ROOT/CLIP/C0001.MP4"),
              test::patternBytes(40'000));
    key(Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_TRUE(model->showSettings());
}

TEST_F(KeyboardScreenTest, NewFolderIsMadeInTheShownFolderAndChosen) {
    fs::create_directories(home / "RAID");
    key(Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    answerDialog(home / "RAID");
    EXPECT_EQ(model->primaryTarget(), text(home / "RAID"));

    key(Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(dialogOpen());
    listed(1);
    key(Qt::Key_Down);
    key(Qt::Key_Return);
    EXPECT_EQ(shown(), text(home / "RAID"));
    listed(0);

    const auto makeFolder = [&](const char* name) {
        click(screen->find("newFolderButton"));
        test::type(screen->window(), QString::fromUtf8(name));
        key(Qt::Key_Return);
    };
    makeFolder("../escape");
    EXPECT_EQ(textOf(screen->find("chooserProblem")),
              u"A folder name cannot be empty, “.”, “..” or contain “/”.");
    makeFolder("Shoot 1");
    EXPECT_TRUE(fs::is_directory(home / "RAID/Shoot 1"));
    EXPECT_EQ(shown(), text(home / "RAID/Shoot 1")) << "the new folder is shown, ready to choose";
    accept();
    ASSERT_TRUE(test::settle());
    EXPECT_EQ(model->primaryTarget(), text(home / "RAID/Shoot 1"));
    EXPECT_FALSE(fs::exists(home / "escape"));
}

TEST_F(KeyboardScreenTest, ListingsMoveWithArrowsOpenWithReturnAndGoUpWithBackspace) {
    fs::create_directories(home / "CARD/A_FOLDER");
    fs::create_directories(home / "CARD/B_FOLDER");
    test::writeFile(home / "CARD/clip.MOV", "clip");
    model->setSource(text(home / "CARD"));
    ASSERT_TRUE(test::settle());
    screen->render();

    auto* list = find(screen->find("sourcePane"), "entryList");
    list->forceActiveFocus(Qt::TabFocusReason);
    ASSERT_TRUE(list->hasActiveFocus());
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    key(Qt::Key_Return);
    ASSERT_TRUE(test::settle());
    EXPECT_EQ(model->source(), text(home / "CARD")) << "Return on a file opens nothing";
    key(Qt::Key_Up);
    key(Qt::Key_Return);
    ASSERT_TRUE(test::settle());
    EXPECT_EQ(model->source(), text(home / "CARD/B_FOLDER"));
    screen->render();
    list->forceActiveFocus(Qt::TabFocusReason);
    key(Qt::Key_Backspace);
    ASSERT_TRUE(test::settle());
    EXPECT_EQ(model->source(), text(home / "CARD"));

    auto* row = find(list, "entryRow");
    ASSERT_NE(row, nullptr);
    const auto [name, role] = spoken(row);
    EXPECT_EQ(name, u"A_FOLDER, Folder");
    EXPECT_EQ(role, QAccessible::ListItem);
}

TEST_F(KeyboardScreenTest, TabReachesEveryControlInReadingOrderAndEachHasANameAndRole) {
    test::writeFile(home / "CARD/A001.MP4", "clip");
    fs::create_directories(home / "MAIN");
    model->setSource(text(home / "CARD"));
    model->chooseTarget(false, text(home / "MAIN"));
    ASSERT_TRUE(test::settle());
    screen->render();

    QStringList order;
    QQuickItem* first = nullptr;
    for (int step = 0; step < 60; ++step) {
        key(Qt::Key_Tab);
        QQuickItem* item = screen->window()->activeFocusItem();
        ASSERT_NE(item, nullptr);
        if (item == first) {
            break;
        }
        first = first ? first : item;
        const auto [name, role] = spoken(item);
        EXPECT_FALSE(name.isEmpty()) << "unnamed " << item->metaObject()->className();
        EXPECT_NE(role, QAccessible::NoRole) << name.toStdString();
        EXPECT_NE(role, QAccessible::Client) << name.toStdString();
        order.append(name);
    }
    // Anchors of the reading order: sidebar, source, destinations, transfers.
    const QStringList reading{QStringLiteral("Media ingest"), QStringLiteral("A001.MP4, 4 bytes"),
                              QStringLiteral("Add backup"), QStringLiteral("Clear finished")};
    qsizetype at = 0;
    for (const QString& name : reading) {
        at = order.indexOf(name, at);
        EXPECT_GE(at, 0) << name.toStdString() << " missing from or out of "
                         << order.join(u" | ").toStdString();
        at = std::max<qsizetype>(at + 1, 0);
    }
}

TEST_F(KeyboardScreenTest, AFolderDroppedOnAPaneChoosesIt) {
    fs::create_directories(home / "CARD/DCIM");
    fs::create_directories(home / "MAIN");
    test::writeFile(home / "clip.MOV", "clip");

    drop(screen->find("sourcePane"), {QUrl::fromLocalFile(text(home / "clip.MOV"))});
    EXPECT_EQ(model->source(), QString()) << "a file is no source";
    drop(screen->find("sourcePane"),
         {QUrl::fromLocalFile(text(home / "clip.MOV")), QUrl::fromLocalFile(text(home / "CARD"))});
    EXPECT_EQ(model->source(), text(home / "CARD"));
    drop(screen->find("targetPane"), {QUrl::fromLocalFile(text(home / "MAIN"))});
    EXPECT_EQ(model->targets(), QStringList{text(home / "MAIN")});
    EXPECT_EQ(model->source(), text(home / "CARD"));
}

// On a 1024 x 700 screen the window fits and its parts keep room; runs in a child whose
// offscreen screen has that size.
TEST(SmallScreen, TheWindowFitsA1024By700Screen) {
    test::expectChildPasses({"/usr/bin/env", "QUAYMARK_TEST_SCREEN=1024x700"},
                            "SmallScreenChild.DISABLED_Fits");
}

TEST(SmallScreenChild, DISABLED_Fits) {
    if (!test::inBusChild()) {
        GTEST_SKIP() << "runs as a child of SmallScreen.TheWindowFitsA1024By700Screen";
    }
    test::TempDir home;
    ShellActions actions;
    auto model = test::makeAppModel(home.path(), &actions);
    test::MainWindowHarness screen(*model, actions);
    QQuickWindow* window = screen.window();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window->screen()->availableGeometry().size(), QSize(1024, 700));
    EXPECT_LE(window->minimumWidth(), 1024);
    EXPECT_LE(window->minimumHeight(), 700 - 40) << "room for the title bar";
    EXPECT_LE(window->height(), 700 - 40);
    window->resize(window->minimumSize());
    screen.render();

    const QRectF inside(QPointF(0, 0), window->size());
    for (const char* part :
         {"startButton", "sourcePane", "targetPane", "transferSection", "footerText", "sidebar"}) {
        QQuickItem* item = screen.find(part);
        ASSERT_NE(item, nullptr) << part;
        const QRectF area = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
        EXPECT_TRUE(inside.contains(area)) << part << " at " << area.x() << "," << area.y() << " "
                                           << area.width() << "x" << area.height();
        EXPECT_GT(area.height(), 10) << part;
    }
    EXPECT_GE(screen.find("transferSection")->height(), 120);
}

} // namespace
} // namespace quaymark
