// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ScreenHarness.h"

#include <gtest/gtest.h>

namespace quaymark::test {

namespace fs = std::filesystem;

// The main window over a fresh import model in a temporary home, with folder sources, "{source}"
// naming and all files imported, and a download model of its own.
class MainWindowTest : public ::testing::Test {
protected:
    TempDir home;
    ShellActions actions;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<DownloadModel> downloads;
    std::unique_ptr<MainWindowHarness> screen;

    void SetUp() override {
        model = makeAppModel(home.path(), &actions);
        model->setVideosOnly(false);
        model->setFolderRule(QStringLiteral("{source}"));
        downloads = makeDownloadModel(home / ".downloads", &actions);
        ASSERT_TRUE(settle());
        screen = std::make_unique<MainWindowHarness>(*model, actions, downloads.get());
        ASSERT_NE(screen->window(), nullptr);
    }

    void TearDown() override {
        screen.reset();
        downloads.reset();
        model.reset();
        settle();
    }

    // The model's folder picker is the window's: this answers the dialog it asked for as a
    // user does from the keyboard, typing the folder's path.
    void answerDialog(const fs::path& folder) {
        ASSERT_TRUE(actions.folderPending());
        ASSERT_TRUE(dialogOpen());
        key(Qt::Key_L, Qt::ControlModifier);
        type(screen->window(), text(folder));
        key(Qt::Key_Return);
        EXPECT_FALSE(actions.folderPending());
        ASSERT_TRUE(settle());
        screen->render();
    }

    bool dialogOpen() const {
        auto* dialog = screen->find<QObject>("folderDialog");
        return waitFor([&] { return dialog->property("opened").toBool(); });
    }

    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const {
        QTest::keyClick(screen->window(), key, modifiers);
        screen->render();
    }

    QQuickItem* item(const char* name) const { return screen->find(name); }

    // Clicks into the field and types, as the user does.
    void typeInto(const char* field, const QString& typed) const {
        click(item(field));
        type(screen->window(), typed);
        screen->render();
    }

    void showSection(const char* section) const {
        screen->find<QObject>("contentView")->setProperty("section", QString::fromLatin1(section));
        screen->render();
    }
};

} // namespace quaymark::test
