// SPDX-License-Identifier: GPL-3.0-or-later
// The window driven as a keyboard user and a screen reader would: the folder dialog,
// shortcuts, the focus order and accessible names.

#include "MainWindowFixture.h"
#include "QtPrinting.h"
#include "app/ui/Format.h"

#include <QAccessible>

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

    // The dialog has listed the folder it shows (not still the one before): these rows.
    void listed(const QStringList& names) const {
        auto* list = screen->find("chooserList");
        QStringList rows;
        const auto current = [&] {
            screen->render();
            rows.clear();
            for (QObject* row : test::findAll<QObject>(list, "chooserRow")) {
                if (Format::parentFolder(row->property("filePath").toString()) != shown()) {
                    return false;
                }
                rows.append(row->property("fileName").toString());
            }
            rows.sort();
            return list->property("count").toInt() == names.size() && rows == names;
        };
        ASSERT_TRUE(test::waitFor(current))
            << ::testing::PrintToString(rows) << " in " << shown().toStdString();
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
};

TEST_F(KeyboardScreenTest, TheFolderDialogChoosesTheFolderItShowsUnlessARowWasPicked) {
    for (const char* folder : {"CARD/DCIM/100MSDCF", "CARD/PRIVATE/M4ROOT", "EMPTY"}) {
        fs::create_directories(home / folder);
    }
    test::writeFile(home / "CARD/notes.txt", "not a folder");
    const QStringList atHome{QStringLiteral("CARD"), QStringLiteral("EMPTY")};
    const QStringList onCard{QStringLiteral("DCIM"), QStringLiteral("PRIVATE")}; // folders only

    // Typed: Ctrl+O, Ctrl+L, the path, Return.
    key(Qt::Key_O, Qt::ControlModifier);
    answerDialog(home / "CARD");
    EXPECT_EQ(model->source(), text(home / "CARD")) << "not its first sub-folder";

    // The dialog opens beside the last choice. Entering a card picks none of its folders.
    ASSERT_TRUE(openDialog());
    listed(atHome);
    enterRow(Qt::Key_Down);
    listed(onCard);
    accept();
    EXPECT_EQ(model->source(), text(home / "CARD")) << "DCIM was shown but never picked";

    // A row picked with the keys is chosen; Backspace goes up; an empty folder can be chosen.
    ASSERT_TRUE(openDialog());
    listed(atHome);
    enterRow(Qt::Key_Down);
    listed(onCard);
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    accept();
    EXPECT_EQ(model->source(), text(home / "CARD/PRIVATE"));

    ASSERT_TRUE(openDialog());
    listed(onCard);
    key(Qt::Key_Backspace);
    listed(atHome);
    enterRow(Qt::Key_Up);
    listed({});
    EXPECT_EQ(shown(), text(home / "EMPTY"));
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

// The keys start it; the Start button, pressed while it runs, is refused and says why.
TEST_F(KeyboardScreenTest, WithTheKeyboardAloneAWholeCardIsImportedAndVerified) {
    test::writeFile(home / "CARD/PRIVATE/M4ROOT/CLIP/C0001.MP4", test::patternBytes(40'000));
    fs::create_directories(home / "CARD/DCIM/100MSDCF");
    fs::create_directories(home / "MAIN");
    key(Qt::Key_O, Qt::ControlModifier);
    answerDialog(home / "CARD");
    key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(model->queue()->batches().isEmpty()) << "no start without a destination";
    key(Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    answerDialog(home / "MAIN");
    QTest::keyClick(screen->window(), Qt::Key_Return, Qt::ControlModifier);
    click(screen->find("startButton"));
    EXPECT_EQ(textOf(screen->find("statusText")), u"This source is already in the import queue.");
    ASSERT_EQ(model->queue()->batches().size(), 1);
    ASSERT_TRUE(test::waitFor([&] { return !model->queue()->processing(); }));
    EXPECT_EQ(model->queue()->batches()[0]->state(), ImportBatch::State::Verified);
    EXPECT_EQ(test::readFile(home / "MAIN/CARD/PRIVATE/M4ROOT/CLIP/C0001.MP4"),
              test::patternBytes(40'000));
    QMetaObject::invokeMethod(screen->find<QObject>("statusAlert"), "accept");
    key(Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_TRUE(model->showSettings());
}

TEST_F(KeyboardScreenTest, NewFolderIsMadeInTheShownFolderAndChosen) {
    fs::create_directories(home / "RAID");
    key(Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    answerDialog(home / "RAID");
    key(Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(dialogOpen());
    listed({QStringLiteral("RAID")});
    enterRow(Qt::Key_Down);
    listed({});

    typeInto("newFolderButton", QStringLiteral("../escape"));
    key(Qt::Key_Return);
    EXPECT_EQ(textOf(screen->find("chooserProblem")),
              u"A folder name cannot be empty, “.”, “..” or contain “/”.");
    typeInto("newFolderButton", QStringLiteral("Shoot 1"));
    key(Qt::Key_Return);
    EXPECT_EQ(shown(), text(home / "RAID/Shoot 1")) << "the new folder is shown, ready to choose";
    accept();
    EXPECT_TRUE(fs::is_directory(home / "RAID/Shoot 1"));
    EXPECT_EQ(model->primaryTarget(), text(home / "RAID/Shoot 1"));
    EXPECT_FALSE(fs::exists(home / "escape"));
}

TEST_F(KeyboardScreenTest, TabReachesEveryControlAndEachHasANameAndRole) {
    test::writeFile(home / "CARD/A001.MP4", "clip");
    fs::create_directories(home / "MAIN");
    model->setSource(text(home / "CARD"));
    model->chooseTarget(false, text(home / "MAIN"));
    ASSERT_TRUE(test::settle());
    screen->render();

    QStringList names;
    QQuickItem* first = nullptr;
    for (int step = 0; step < 60; ++step) {
        key(Qt::Key_Tab);
        QQuickItem* item = screen->window()->activeFocusItem();
        ASSERT_NE(item, nullptr);
        if (item == first) {
            break;
        }
        first = first ? first : item;
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(item);
        ASSERT_NE(spoken, nullptr) << item->metaObject()->className();
        const QString name = spoken->text(QAccessible::Name);
        EXPECT_FALSE(name.isEmpty()) << "unnamed " << item->metaObject()->className();
        EXPECT_NE(spoken->role(), QAccessible::NoRole) << name.toStdString();
        EXPECT_NE(spoken->role(), QAccessible::Client) << name.toStdString();
        names.append(name);
    }
    EXPECT_TRUE(names.contains(QStringLiteral("A001.MP4, 4 bytes"))) << "rows tell name and size";
}

} // namespace
} // namespace quaymark
