// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShellActions.h"

#include "app/platform/qt/DesktopServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace quaymark {

ShellActions::ShellActions(QObject* parent)
    : WindowActions(parent) {}

QString ShellActions::homeFolder() const {
    return QDir::homePath();
}

void ShellActions::pickFolder(const QString& title, const QString& confirm, const QString& start,
                              std::function<void(std::optional<QString>)> completion) {
    if (pending_) {
        completion(std::nullopt);
        return;
    }
    pending_ = std::move(completion);
    if (!platform::FolderPortal::available()) {
        emit folderRequested(title, confirm);
        return;
    }
    QString parent;
    if (parentWindow_ && QGuiApplication::platformName() == u"xcb") {
        parent = QStringLiteral("x11:") + QString::number(parentWindow_->winId(), 16);
    }
    portal_.choose(
        parent, title, confirm, start,
        [this, title, confirm](platform::FolderPortal::Outcome outcome, const QString& folder) {
            using Outcome = platform::FolderPortal::Outcome;
            if (outcome == Outcome::Unavailable) {
                emit folderRequested(title, confirm);
                return;
            }
            answerFolder(outcome == Outcome::Chosen ? QUrl::fromLocalFile(folder) : QUrl());
        });
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

void ShellActions::answerPath(const QString& folder) {
    answerFolder(folder.isEmpty() ? QUrl() : QUrl::fromLocalFile(folder));
}

QString ShellActions::resolveFolder(const QString& typed, const QString& shown) const {
    QString path = typed.trimmed();
    if (path.isEmpty()) {
        return {};
    }
    if (path == u'~' || path.startsWith(QStringLiteral("~/"))) {
        path = QDir::homePath() + path.mid(1);
    } else if (const QUrl url(path); url.isLocalFile()) {
        path = url.toLocalFile();
    }
    const QFileInfo info(QDir(shown).absoluteFilePath(path));
    return info.isDir() ? QDir::cleanPath(info.absoluteFilePath()) : QString();
}

QVariantMap ShellActions::createFolder(const QString& parent, const QString& name) const {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || trimmed == u'.' || trimmed == QStringLiteral("..") ||
        trimmed.contains(u'/')) {
        return {{QStringLiteral("error"), QStringLiteral("A folder name cannot be empty, "
                                                         "“.”, “..” or contain “/”.")}};
    }
    const QString path = QDir(parent).filePath(trimmed);
    // mkdir, not mkpath: an existing folder of that name is an error, not a success.
    if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0) {
        const int error = errno;
        return {{QStringLiteral("error"), error == EEXIST
                                              ? QStringLiteral("“%1” already exists.").arg(trimmed)
                                              : QString::fromLocal8Bit(std::strerror(error))}};
    }
    return {{QStringLiteral("path"), path}};
}

void ShellActions::reveal(const QString& path) {
    if (!path.isEmpty()) {
        platform::revealInFileManager(path, noFileManager());
    }
}

void ShellActions::openFolder(const QString& folder) {
    if (!folder.isEmpty()) {
        platform::openInFileManager(folder, noFileManager());
    }
}

void ShellActions::openDocument(const QString& pdf) {
    if (pdf.isEmpty()) {
        return;
    }
    platform::openDocument(pdf, [actions = QPointer<ShellActions>(this)] {
        if (actions) {
            emit actions->problemReported(
                QStringLiteral("No program is installed to open PDF files."));
        }
    });
}

platform::ShowFailed ShellActions::noFileManager() {
    return [actions = QPointer<ShellActions>(this)] {
        if (actions) {
            emit actions->problemReported(
                QStringLiteral("No file manager is installed to show this folder."));
        }
    };
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
