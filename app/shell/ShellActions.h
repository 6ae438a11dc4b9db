#pragma once

#include "QuitGuard.h"
#include "app/model/FolderPicker.h"

#include <QObject>
#include <QString>
#include <QUrl>

namespace quaymark {

// What the window asks of the application: the folder dialog behind the models' folder
// picker, the file manager, and quitting through the quit guard.
class ShellActions : public QObject, public FolderPicker {
    Q_OBJECT
    // Where the folder dialog opens: the home folder.
    Q_PROPERTY(QUrl startFolder READ startFolder CONSTANT)

public:
    explicit ShellActions(QObject* parent = nullptr);

    QuitGuard& guard() { return guard_; }
    QUrl startFolder() const;

    // One dialog at a time: a request while one is open is answered with nothing at once.
    void pickFolder(const QString& title, const QString& confirm,
                    std::function<void(std::optional<QString>)> completion) override;
    bool folderPending() const { return static_cast<bool>(pending_); }
    // The dialog's answer; an empty URL means it was dismissed.
    Q_INVOKABLE void answerFolder(const QUrl& folder);

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
};

} // namespace quaymark
