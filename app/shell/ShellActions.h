// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "QuitGuard.h"
#include "app/core/FolderPicker.h"
#include "app/platform/qt/DesktopServices.h"
#include "app/platform/qt/FolderPortal.h"
#include "app/ui/WindowActions.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <QWindow>

namespace quaymark {

// What the window asks of the application: the folder dialog behind the models' folder
// picker (the desktop's portal chooser where there is one, else the window's own dialog), the
// file manager, and quitting through the quit guard.
class ShellActions : public WindowActions, public FolderPicker {
    Q_OBJECT

public:
    explicit ShellActions(QObject* parent = nullptr);

    QuitGuard& guard() { return guard_; }
    QString homeFolder() const override;
    // The window the portal's chooser belongs to.
    void setParentWindow(QWindow* window) { parentWindow_ = window; }

    // One dialog at a time: a request while one is open is answered with nothing at once.
    void pickFolder(const QString& title, const QString& confirm, const QString& start,
                    std::function<void(std::optional<QString>)> completion) override;
    bool folderPending() const { return static_cast<bool>(pending_); }
    void answerFolder(const QUrl& folder) override;
    void answerPath(const QString& folder) override;
    QString resolveFolder(const QString& typed, const QString& shown) const override;
    QVariantMap createFolder(const QString& parent, const QString& name) const override;
    void reveal(const QString& path) override;
    void openFolder(const QString& folder) override;
    void openDocument(const QString& pdf) override;
    void requestQuit() override;
    void quitAnyway() override;

signals:
    // Shown in front of the user before the question is asked.
    void windowWanted();
    void quitting();

private:
    // Says so when no file manager could show a folder.
    platform::ShowFailed noFileManager();

    QuitGuard guard_;
    std::function<void(std::optional<QString>)> pending_;
    platform::FolderPortal portal_;
    QPointer<QWindow> parentWindow_;
};

} // namespace quaymark
