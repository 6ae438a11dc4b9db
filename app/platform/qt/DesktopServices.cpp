// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopServices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

namespace quaymark::platform {

namespace {

constexpr int busTimeoutMs = 2000;
const QString applicationName = QStringLiteral("Brindleway Quaymark");

// xdg-open starts, and reports success, even where no program takes folders: the desktop is
// asked first, without holding up the window, and a question left unanswered counts as none.
void openWithDefaultHandler(const QString& folder, const ShowFailed& failed,
                            const QString& type = QStringLiteral("inode/directory")) {
    auto* query = new QProcess;
    const auto answer = [query, folder, failed](bool known) {
        query->disconnect();
        query->deleteLater();
        if (!known || !QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {
            failed();
        }
    };
    QObject::connect(query, &QProcess::finished, query, [query, answer](int code) {
        answer(code == 0 && !query->readAllStandardOutput().trimmed().isEmpty());
    });
    QObject::connect(query, &QProcess::errorOccurred, query, [answer] { answer(false); });
    QTimer::singleShot(busTimeoutMs, query, [query] { query->kill(); });
    query->start(QStringLiteral("xdg-mime"),
                 {QStringLiteral("query"), QStringLiteral("default"), type});
}

// Asks the file manager, falling back to `fallbackFolder` when the call fails or times out.
void askFileManager(const QString& method, const QString& path, const QString& fallbackFolder,
                    ShowFailed failed) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openWithDefaultHandler(fallbackFolder, failed);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                       QStringLiteral("org.freedesktop.FileManager1"), method);
    // URIs as the interface wants them: percent-encoded, not as a person would read them.
    call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, busTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [fallbackFolder, failed](QDBusPendingCallWatcher* finished) {
                         if (finished->isError()) {
                             openWithDefaultHandler(fallbackFolder, failed);
                         }
                         finished->deleteLater();
                     });
}

} // namespace

void postNotification(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << applicationName << uint(0) << QStringLiteral("quaymark") << summary << body
         << QStringList() << QVariantMap() << int(-1);
    // Nobody waits for the answer; a desktop without a notification service just drops it.
    bus.asyncCall(call, busTimeoutMs);
}

void revealInFileManager(const QString& path, ShowFailed failed) {
    askFileManager(QStringLiteral("ShowItems"), path, QFileInfo(path).absolutePath(),
                   std::move(failed));
}

void openInFileManager(const QString& folder, ShowFailed failed) {
    askFileManager(QStringLiteral("ShowFolders"), folder, folder, std::move(failed));
}

void openDocument(const QString& pdf, ShowFailed failed) {
    openWithDefaultHandler(pdf, failed, QStringLiteral("application/pdf"));
}

} // namespace quaymark::platform
