#include "SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

namespace quaymark::platform {

namespace {

constexpr int callTimeoutMs = 2000;

const QString screenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");

} // namespace

SleepInhibitor::SleepInhibitor(const QString& reason) {
    if (inhibitWithLogind(reason)) {
        way_ = Way::logind;
    } else if (inhibitScreenSaver(reason)) {
        way_ = Way::screenSaver;
    }
}

SleepInhibitor::~SleepInhibitor() {
    if (cookie_) {
        auto message = QDBusMessage::createMethodCall(
            screenSaverService, screenSaverPath_, screenSaverService, QStringLiteral("UnInhibit"));
        message << *cookie_;
        // Sent without waiting: a stalled service must not stall whoever ends the import.
        QDBusConnection::sessionBus().send(message);
    }
}

bool SleepInhibitor::inhibitWithLogind(const QString& reason) {
    auto bus = QDBusConnection::systemBus();
    if (!bus.isConnected() ||
        !(bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing)) {
        return false;
    }
    auto message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    message << QStringLiteral("idle:sleep") << QStringLiteral("Quaymark") << reason
            << QStringLiteral("block");
    const QDBusReply<QDBusUnixFileDescriptor> reply =
        bus.call(message, QDBus::Block, callTimeoutMs);
    if (!reply.isValid() || !reply.value().isValid()) {
        return false;
    }
    lock_ = reply.value();
    return true;
}

bool SleepInhibitor::inhibitScreenSaver(const QString& reason) {
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    // Older desktops serve the interface at /ScreenSaver only.
    for (const QString& path :
         {QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("/ScreenSaver")}) {
        auto message = QDBusMessage::createMethodCall(screenSaverService, path, screenSaverService,
                                                      QStringLiteral("Inhibit"));
        message << QStringLiteral("Quaymark") << reason;
        const QDBusReply<uint> reply = bus.call(message, QDBus::Block, callTimeoutMs);
        if (reply.isValid()) {
            screenSaverPath_ = path;
            cookie_ = reply.value();
            return true;
        }
        // Only a missing object is worth a second try; a missing or stalled service is not.
        const auto error = reply.error().type();
        if (error != QDBusError::UnknownObject && error != QDBusError::UnknownMethod &&
            error != QDBusError::UnknownInterface) {
            return false;
        }
    }
    return false;
}

} // namespace quaymark::platform
