#include "ShellActions.h"

#include "app/platform/DesktopServices.h"

#include <QCoreApplication>
#include <QDir>

namespace quaymark {

ShellActions::ShellActions(QObject* parent)
    : QObject(parent) {}

QUrl ShellActions::startFolder() const {
    return QUrl::fromLocalFile(QDir::homePath());
}

void ShellActions::pickFolder(const QString& title, const QString& confirm,
                              std::function<void(std::optional<QString>)> completion) {
    if (pending_) {
        completion(std::nullopt);
        return;
    }
    pending_ = std::move(completion);
    emit folderRequested(title, confirm);
}

void ShellActions::answerFolder(const QUrl& folder) {
    auto completion = std::exchange(pending_, nullptr);
    if (!completion) {
        return;
    }
    if (folder.isEmpty() || !folder.isLocalFile()) {
        completion(std::nullopt);
        return;
    }
    completion(folder.toLocalFile());
}

void ShellActions::reveal(const QString& path) {
    if (!path.isEmpty()) {
        platform::revealInFileManager(path);
    }
}

void ShellActions::openFolder(const QString& folder) {
    if (!folder.isEmpty()) {
        platform::openInFileManager(folder);
    }
}

void ShellActions::requestQuit() {
    if (!guard_.workRunning()) {
        quitAnyway();
        return;
    }
    emit windowWanted();
    emit quitConfirmationRequested();
}

void ShellActions::quitAnyway() {
    emit quitting();
    QCoreApplication::quit();
}

} // namespace quaymark
