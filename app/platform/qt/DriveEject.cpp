// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveEject.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QVariantMap>

#include <algorithm>
#include <optional>

using UdisksInterfaces = QMap<QString, QVariantMap>;
using UdisksObjects = QMap<QDBusObjectPath, UdisksInterfaces>;

namespace quaymark::platform {

namespace {

const QString service = QStringLiteral("org.freedesktop.UDisks2");
const QString blockInterface = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString filesystemInterface = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString driveInterface = QStringLiteral("org.freedesktop.UDisks2.Drive");
constexpr int callTimeoutMs = 30'000;

// A file system's mount points: "aay", each with its closing NUL.
QStringList mountPointsOf(const UdisksInterfaces& object) {
    QStringList points;
    const QVariant value = object.value(filesystemInterface).value(QStringLiteral("MountPoints"));
    const auto raw = value.canConvert<QDBusArgument>()
                         ? qdbus_cast<QByteArrayList>(value.value<QDBusArgument>())
                         : value.value<QByteArrayList>();
    for (QByteArray point : raw) {
        if (point.endsWith('\0')) {
            point.chop(1);
        }
        points.append(QDir::cleanPath(QFile::decodeName(point)));
    }
    return points;
}

QString driveOf(const UdisksInterfaces& object) {
    return object.value(blockInterface)
        .value(QStringLiteral("Drive"))
        .value<QDBusObjectPath>()
        .path();
}

// The error's own words, without the D-Bus name before them.
QString reasonOf(const QDBusMessage& reply) {
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

QDBusMessage call(const QString& path, const QString& interface, const QString& method) {
    auto message = QDBusMessage::createMethodCall(service, path, interface, method);
    message << QVariantMap{};
    return QDBusConnection::systemBus().call(message, QDBus::Block, callTimeoutMs);
}

std::optional<UdisksObjects> managedObjects(QString& error) {
    static const bool registered = [] {
        qDBusRegisterMetaType<UdisksInterfaces>();
        qDBusRegisterMetaType<UdisksObjects>();
        qDBusRegisterMetaType<QByteArrayList>();
        return true;
    }();
    (void)registered;
    const auto message = QDBusMessage::createMethodCall(
        service, QStringLiteral("/org/freedesktop/UDisks2"),
        QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"));
    const QDBusReply<UdisksObjects> reply =
        QDBusConnection::systemBus().call(message, QDBus::Block, callTimeoutMs);
    if (!reply.isValid()) {
        error = reply.error().message();
        return std::nullopt;
    }
    return reply.value();
}

// Why the reader must stay powered: a card beside this one is mounted or importing.
QString siblingReason(const UdisksObjects& objects, const QString& drive,
                      const QStringList& importing) {
    const QString sibling = objects.value(QDBusObjectPath(drive))
                                .value(driveInterface)
                                .value(QStringLiteral("SiblingId"))
                                .toString();
    if (sibling.isEmpty()) {
        return {};
    }
    QString mounted;
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        const QString other = driveOf(it.value());
        if (other.isEmpty() || other == drive ||
            objects.value(QDBusObjectPath(other))
                    .value(driveInterface)
                    .value(QStringLiteral("SiblingId"))
                    .toString() != sibling) {
            continue;
        }
        for (const QString& point : mountPointsOf(it.value())) {
            const QString name = QFileInfo(point).fileName();
            if (std::any_of(importing.begin(), importing.end(), [&](const QString& folder) {
                    return folder == point || folder.startsWith(point + u'/');
                })) {
                return name + u" is still importing";
            }
            mounted = name + u" is still mounted";
        }
    }
    return mounted;
}

} // namespace

EjectOutcome ejectDrive(const QString& mountPoint, const QStringList& importing) {
    EjectOutcome outcome;
    QString error;
    const auto objects = managedObjects(error);
    if (!objects) {
        outcome.message =
            u"The system's disk service did not answer, so nothing was ejected: " + error;
        return outcome;
    }
    const QString wanted = QDir::cleanPath(mountPoint);
    QString drive;
    bool found = false;
    for (auto it = objects->cbegin(); it != objects->cend() && !found; ++it) {
        found = mountPointsOf(it.value()).contains(wanted);
        drive = found ? driveOf(it.value()) : drive;
    }
    if (!found) {
        outcome.message = QStringLiteral("The system's disk service does not know this drive, so "
                                         "it cannot be ejected from here.");
        return outcome;
    }
    // Every file system of the drive, or this one alone when it sits on no drive.
    for (auto it = objects->cbegin(); it != objects->cend(); ++it) {
        const QStringList points = mountPointsOf(it.value());
        const bool ours = drive == QLatin1String("/") || drive.isEmpty()
                              ? points.contains(wanted)
                              : driveOf(it.value()) == drive;
        if (!ours || points.isEmpty()) {
            continue;
        }
        const QDBusMessage reply =
            call(it.key().path(), filesystemInterface, QStringLiteral("Unmount"));
        if (reply.type() == QDBusMessage::ErrorMessage) {
            outcome.message = u"“" + QFileInfo(points.first()).fileName() +
                              u"” could not be unmounted: " + reasonOf(reply);
            return outcome;
        }
    }
    outcome.unmounted = true;
    const QVariantMap driveProperties =
        objects->value(QDBusObjectPath(drive)).value(driveInterface);
    if (const QString busy = siblingReason(*objects, drive, importing); !busy.isEmpty()) {
        outcome.message = u"Unmounted. The reader stays powered because " + busy + u".";
    } else if (!driveProperties.value(QStringLiteral("CanPowerOff")).toBool()) {
        outcome.message = QStringLiteral("Unmounted. This drive cannot be powered off from here; "
                                         "it can be removed.");
    } else if (const QDBusMessage reply = call(drive, driveInterface, QStringLiteral("PowerOff"));
               reply.type() == QDBusMessage::ErrorMessage) {
        outcome.message = u"Unmounted, but the drive could not be powered off: " + reasonOf(reply);
    } else {
        outcome.poweredOff = true;
        outcome.message = QStringLiteral("Ejected. The card can be removed.");
    }
    return outcome;
}

} // namespace quaymark::platform
