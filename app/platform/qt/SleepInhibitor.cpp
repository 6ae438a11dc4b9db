// SPDX-License-Identifier: GPL-3.0-or-later
#include "SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <functional>

namespace quaymark::platform {

namespace {

constexpr int callTimeoutMs = 2000;

const QString screenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QStringList screenSaverPaths{QStringLiteral("/org/freedesktop/ScreenSaver"),
                                   QStringLiteral("/ScreenSaver")};

using Hold = SleepInhibitor::Hold;

void unInhibit(const QString& path, uint cookie) {
    auto message = QDBusMessage::createMethodCall(screenSaverService, path, screenSaverService,
                                                  QStringLiteral("UnInhibit"));
    message << cookie;
    // Sent without waiting: a stalled service must not stall whoever ends the work.
    QDBusConnection::sessionBus().send(message);
}

// Calls `answered` with the reply on the thread that asked, once it arrives.
void whenAnswered(const QDBusPendingCall& call,
                  std::function<void(const QDBusPendingCall&)> answered) {
    auto* watcher = new QDBusPendingCallWatcher(call);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [answered = std::move(answered)](QDBusPendingCallWatcher* done) {
                         answered(*done);
                         done->deleteLater();
                     });
}

void inhibitScreenSaver(const std::shared_ptr<Hold>& hold, qsizetype pathIndex) {
    auto bus = QDBusConnection::sessionBus();
    if (hold->released || !bus.isConnected() || pathIndex >= screenSaverPaths.size()) {
        return;
    }
    const QString path = screenSaverPaths[pathIndex];
    auto message = QDBusMessage::createMethodCall(screenSaverService, path, screenSaverService,
                                                  QStringLiteral("Inhibit"));
    message << QStringLiteral("Quaymark") << hold->reason;
    whenAnswered(bus.asyncCall(message, callTimeoutMs),
                 [hold, path, pathIndex](const QDBusPendingCall& call) {
                     const QDBusPendingReply<uint> reply = call;
                     if (reply.isValid()) {
                         if (hold->released) {
                             unInhibit(path, reply.value()); // ended before the answer came
                         } else {
                             hold->way = SleepInhibitor::Way::screenSaver;
                             hold->screenSaverPath = path;
                             hold->cookie = reply.value();
                         }
                         return;
                     }
                     // Older desktops serve the interface at /ScreenSaver only; a missing or
                     // stalled service is not worth a second try.
                     const auto error = reply.error().type();
                     if (error == QDBusError::UnknownObject || error == QDBusError::UnknownMethod ||
                         error == QDBusError::UnknownInterface) {
                         inhibitScreenSaver(hold, pathIndex + 1);
                     }
                 });
}

void inhibitWithLogind(const std::shared_ptr<Hold>& hold) {
    auto bus = QDBusConnection::systemBus();
    if (!bus.isConnected() ||
        !(bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing)) {
        inhibitScreenSaver(hold, 0);
        return;
    }
    auto message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    message << QStringLiteral("idle:sleep") << QStringLiteral("Quaymark") << hold->reason
            << QStringLiteral("block");
    whenAnswered(bus.asyncCall(message, callTimeoutMs), [hold](const QDBusPendingCall& call) {
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = call;
        if (reply.isValid() && reply.value().isValid()) {
            if (!hold->released) { // else the descriptor closes with the reply
                hold->way = SleepInhibitor::Way::logind;
                hold->lock = reply.value();
            }
            return;
        }
        inhibitScreenSaver(hold, 0);
    });
}

} // namespace

SleepInhibitor::SleepInhibitor(const QString& reason)
    : hold_(std::make_shared<Hold>()) {
    hold_->reason = reason;
    inhibitWithLogind(hold_);
}

SleepInhibitor::~SleepInhibitor() {
    hold_->released = true;
    hold_->lock = QDBusUnixFileDescriptor();
    if (hold_->cookie) {
        unInhibit(hold_->screenSaverPath, *hold_->cookie);
        hold_->cookie.reset();
    }
    hold_->way = Way::none;
}

SleepInhibitor::Way SleepInhibitor::way() const {
    return hold_->way;
}

} // namespace quaymark::platform
