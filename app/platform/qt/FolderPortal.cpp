// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderPortal.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QUrl>
#include <QVariantMap>

#include <utility>

namespace quaymark::platform {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
constexpr int busTimeoutMs = 2000;

using Outcome = FolderPortal::Outcome;

} // namespace

// One open chooser: waits for the portal's Response signal on the request's object path, or
// for the portal to leave the bus.
class PortalRequest : public QObject {
    Q_OBJECT

public:
    PortalRequest(FolderPortal::Completion completion, QObject* parent)
        : QObject(parent)
        , completion_(std::move(completion))
        , portalGone_(portalService, QDBusConnection::sessionBus(),
                      QDBusServiceWatcher::WatchForUnregistration) {
        connect(&portalGone_, &QDBusServiceWatcher::serviceUnregistered, this,
                [this] { finish(Outcome::Unavailable, QString()); });
    }

    // Listens on `path`; the portal may answer before its reply to the call arrives.
    void listen(const QString& path) {
        if (path == path_) {
            return;
        }
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!path_.isEmpty()) {
            bus.disconnect(QString(), path_, requestInterface, QStringLiteral("Response"), this,
                           SLOT(response(uint, QVariantMap)));
        }
        path_ = path;
        bus.connect(QString(), path_, requestInterface, QStringLiteral("Response"), this,
                    SLOT(response(uint, QVariantMap)));
    }

    void finish(Outcome outcome, const QString& folder) {
        if (!completion_) {
            return;
        }
        listen(QString());
        std::exchange(completion_, nullptr)(outcome, folder);
        deleteLater();
    }

public slots:
    void response(uint code, const QVariantMap& results) {
        // 0: chosen, 1: cancelled, 2: ended otherwise (Escape, the window's close button). A
        // dismissal never brings up the window's own dialog as a second one; a failed call
        // does, and so does a choice that is no local folder (a network place the desktop has
        // not mounted), which an import cannot use: the window's dialog offers those it can.
        if (code != 0) {
            finish(Outcome::Dismissed, QString());
            return;
        }
        const QStringList uris = results.value(QStringLiteral("uris")).toStringList();
        const QUrl url(uris.value(0));
        if (!url.isLocalFile()) {
            finish(Outcome::Unavailable, QString());
            return;
        }
        finish(Outcome::Chosen, url.toLocalFile());
    }

private:
    FolderPortal::Completion completion_;
    QDBusServiceWatcher portalGone_;
    QString path_;
};

FolderPortal::FolderPortal(QObject* parent)
    : QObject(parent) {}

FolderPortal::~FolderPortal() = default;

bool FolderPortal::available() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) {
        return false;
    }
    if (bus.interface()->isServiceRegistered(portalService)) {
        return true;
    }
    // Desktops start the portal on its first use.
    const QDBusMessage names =
        bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                QStringLiteral("/org/freedesktop/DBus"),
                                                QStringLiteral("org.freedesktop.DBus"),
                                                QStringLiteral("ListActivatableNames")),
                 QDBus::Block, busTimeoutMs);
    return names.type() == QDBusMessage::ReplyMessage &&
           names.arguments().value(0).toStringList().contains(portalService);
}

void FolderPortal::choose(const QString& parentWindow, const QString& title,
                          const QString& acceptLabel, const QString& start, Completion completion) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto* request = new PortalRequest(std::move(completion), this);
    if (!bus.isConnected()) {
        request->finish(Outcome::Unavailable, QString());
        return;
    }
    const QString token = QStringLiteral("quaymark%1").arg(++next_);
    // Where the portal will put the request: known before the call, so no answer is missed.
    QString sender = bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    request->listen(portalPath + QStringLiteral("/request/") + sender + u'/' + token);

    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.portal.FileChooser"),
        QStringLiteral("OpenFile"));
    QVariantMap options{
        {QStringLiteral("handle_token"), token}, {QStringLiteral("accept_label"), acceptLabel},
        {QStringLiteral("directory"), true},     {QStringLiteral("multiple"), false},
        {QStringLiteral("modal"), true},
    };
    if (!start.isEmpty()) {
        // Bytes ending in NUL, as the portal takes paths; without it dialogs open on "Recent".
        options.insert(QStringLiteral("current_folder"),
                       QByteArray(QFile::encodeName(start) + '\0'));
    }
    call << parentWindow << title << options;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, busTimeoutMs), request);
    connect(watcher, &QDBusPendingCallWatcher::finished, request,
            [request](QDBusPendingCallWatcher* finished) {
                const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                finished->deleteLater();
                if (reply.isError()) {
                    request->finish(Outcome::Unavailable, QString());
                    return;
                }
                // Portals older than the handle token put the request elsewhere.
                request->listen(reply.value().path());
            });
}

} // namespace quaymark::platform

#include "FolderPortal.moc"
