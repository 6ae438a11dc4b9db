// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QStringList>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using UdisksInterfaces = QMap<QString, QVariantMap>;
using UdisksObjects = QMap<QDBusObjectPath, UdisksInterfaces>;

namespace quaymark::test {

// UDisks2 as the application sees it on the system bus: drives and file systems whose method
// calls are logged in order, on a session bus connection of its own.
inline const QString udisksRoot = QStringLiteral("/org/freedesktop/UDisks2");

class FakeObjectManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.ObjectManager")
public:
    UdisksObjects objects;
public slots:
    UdisksObjects GetManagedObjects() { return objects; }
};

// One file system or drive: its method calls go to the shared log, or fail as UDisks would.
class FakeMethod : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    FakeMethod(QStringList& calls, QString name, QString failure, std::function<void()> done = {})
        : calls_(calls)
        , name_(std::move(name))
        , failure_(std::move(failure))
        , done_(std::move(done)) {}
    void answer(const QString& method, const QVariantMap& options) {
        if (!failure_.isEmpty()) {
            sendErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy"), failure_);
            return;
        }
        calls_.append(method + u' ' + name_ + (options.isEmpty() ? u""_qs : u" forced"_qs));
        if (done_) {
            done_();
        }
    }

private:
    QStringList& calls_;
    QString name_;
    QString failure_;
    std::function<void()> done_;
};

class FakeFilesystem : public FakeMethod {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UDisks2.Filesystem")
public:
    using FakeMethod::FakeMethod;
public slots:
    void Unmount(const QVariantMap& options) { answer(QStringLiteral("Unmount"), options); }
};

class FakeDrive : public FakeMethod {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UDisks2.Drive")
public:
    using FakeMethod::FakeMethod;
public slots:
    void PowerOff(const QVariantMap& options) { answer(QStringLiteral("PowerOff"), options); }
};

class FakeUdisks {
public:
    FakeUdisks()
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"udisks"_qs)) {
        qDBusRegisterMetaType<UdisksInterfaces>();
        qDBusRegisterMetaType<UdisksObjects>();
        qDBusRegisterMetaType<QByteArrayList>();
        EXPECT_TRUE(bus_.registerObject(udisksRoot, &manager_, QDBusConnection::ExportAllSlots));
        EXPECT_TRUE(bus_.registerService(u"org.freedesktop.UDisks2"_qs));
    }
    ~FakeUdisks() { QDBusConnection::disconnectFromBus(u"udisks"_qs); }

    void drive(const QString& name, const QString& sibling, bool canPowerOff,
               const QString& failure = {}) {
        const QString path = udisksRoot + u"/drives/" + name;
        manager_.objects[QDBusObjectPath(path)][u"org.freedesktop.UDisks2.Drive"_qs] = {
            {u"SiblingId"_qs, sibling}, {u"CanPowerOff"_qs, canPowerOff}};
        serve(path, std::make_unique<FakeDrive>(calls, name, failure));
    }
    // `unmount` does what the real service would, such as unmounting a test's mount.
    void fileSystem(const QString& name, const QString& drive, const QString& mountPoint,
                    const QString& failure = {}, std::function<void()> unmount = {}) {
        const QString path = udisksRoot + u"/block_devices/" + name;
        auto& object = manager_.objects[QDBusObjectPath(path)];
        object[u"org.freedesktop.UDisks2.Block"_qs] = {
            {u"Drive"_qs, QVariant::fromValue(QDBusObjectPath(udisksRoot + u"/drives/" + drive))}};
        object[u"org.freedesktop.UDisks2.Filesystem"_qs] = {
            {u"MountPoints"_qs, QVariant::fromValue(QByteArrayList{mountPoint.toUtf8() + '\0'})}};
        serve(path, std::make_unique<FakeFilesystem>(calls, name, failure, std::move(unmount)));
    }

    QStringList calls;

private:
    void serve(const QString& path, std::unique_ptr<QObject> object) {
        EXPECT_TRUE(bus_.registerObject(path, object.get(), QDBusConnection::ExportAllSlots));
        served_.push_back(std::move(object));
    }

    QDBusConnection bus_;
    FakeObjectManager manager_;
    std::vector<std::unique_ptr<QObject>> served_;
};

} // namespace quaymark::test
