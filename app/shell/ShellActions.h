// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "QuitGuard.h"
#include "app/core/FolderPicker.h"
#include "app/platform/qt/FolderPortal.h"

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
class ShellActions : public QObject, public FolderPicker {
    Q_OBJECT
    // Where the folder dialog opens.
    Q_PROPERTY(QString homeFolder READ homeFolder CONSTANT)

public:
    explicit ShellActions(QObject* parent = nullptr);

    QuitGuard& guard() { return guard_; }
    QString homeFolder() const;
    // The window the portal's chooser belongs to.
    void setParentWindow(QWindow* window) { parentWindow_ = window; }

    // One dialog at a time: a request while one is open is answered with nothing at once.
    void pickFolder(const QString& title, const QString& confirm,
                    std::function<void(std::optional<QString>)> completion) override;
    bool folderPending() const { return static_cast<bool>(pending_); }
    // The dialog's answer; an empty URL means it was dismissed.
    Q_INVOKABLE void answerFolder(const QUrl& folder);
    // The same with a path; empty when the dialog was dismissed.
    Q_INVOKABLE void answerPath(const QString& folder);

    // For the window's dialog. What a typed location means, seen from `shown`: "~" is the
    // home folder, a relative path lies below `shown`; empty when no folder is there.
    Q_INVOKABLE QString resolveFolder(const QString& typed, const QString& shown) const;
    // Makes the folder `name` in `parent`: {"path": the new folder} or {"error": why not}.
    Q_INVOKABLE QVariantMap createFolder(const QString& parent, const QString& name) const;

    Q_INVOKABLE void reveal(const QString& path);
    Q_INVOKABLE void openFolder(const QString& folder);

    // Quits at once when no work runs, else asks the window for confirmation.
    Q_INVOKABLE void requestQuit();
    Q_INVOKABLE void quitAnyway();

signals:
    void folderRequested(const QString& title, const QString& confirm);
    // Shown in front of the user before the question is asked.
    void windowWanted();
    void quitConfirmationRequested();
    void quitting();

private:
    QuitGuard guard_;
    std::function<void(std::optional<QString>)> pending_;
    platform::FolderPortal portal_;
    QPointer<QWindow> parentWindow_;
};

} // namespace quaymark
