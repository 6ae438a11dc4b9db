// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ScreenHarness.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

namespace quaymark::test {

namespace fs = std::filesystem;

// The main window over a fresh import model in a temporary home, with folder sources, "{source}"
// naming and all files imported.
class MainWindowTest : public ::testing::Test {
protected:
    TempDir home;
    ShellActions actions;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<MainWindowHarness> screen;

    void SetUp() override {
        model = makeAppModel(home.path(), &actions);
        model->setVideosOnly(false);
        model->setFolderRule(QStringLiteral("{source}"));
        ASSERT_TRUE(settle());
        screen = std::make_unique<MainWindowHarness>(*model, actions, downloadModel());
        ASSERT_NE(screen->window(), nullptr);
    }

    // A suite that drives the downloads area gives the window its own model.
    virtual DownloadModel* downloadModel() { return nullptr; }

    void TearDown() override {
        screen.reset();
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

    void dismissDialog() {
        QMetaObject::invokeMethod(screen->find<QObject>("folderDialog"), "reject");
        EXPECT_FALSE(actions.folderPending());
    }

    QQuickItem* pane(const char* name) const { return screen->find(name); }

    QString paneText(const char* paneName, const char* child) const {
        return textOf(find(pane(paneName), child));
    }

    bool paneShows(const char* paneName, const char* child) const {
        QQuickItem* item = find(pane(paneName), child);
        return item && item->isVisible();
    }

    QStringList destinationCaptions() const {
        QStringList captions;
        auto* cards = screen->find("destinationCards");
        for (QObject* caption : findAll<QObject>(cards, QStringLiteral("destinationCaption"))) {
            captions.append(textOf(caption));
        }
        captions.sort();
        return captions;
    }
};

} // namespace quaymark::test
