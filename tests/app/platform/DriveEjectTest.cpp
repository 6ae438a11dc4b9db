// SPDX-License-Identifier: GPL-3.0-or-later
// Eject against a fake UDisks2 on a private bus standing in for the system bus.
#include "app/platform/qt/DriveEject.h"

#include "BusChild.h"
#include "QtWaiting.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMetaType>
#include <QDBusObjectPath>

#include <gtest/gtest.h>

#include <future>
#include <memory>

using UdisksInterfaces = QMap<QString, QVariantMap>;
using UdisksObjects = QMap<QDBusObjectPath, UdisksInterfaces>;

namespace quaymark::platform {
namespace {

using namespace std::chrono_literals;

const QString root = QStringLiteral("/org/freedesktop/UDisks2");

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
    FakeMethod(QStringList& calls, QString name, QString failure)
        : calls_(calls)
        , name_(std::move(name))
        , failure_(std::move(failure)) {}
    void answer(const QString& method, const QVariantMap& options) {
        if (!failure_.isEmpty()) {
            sendErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy"), failure_);
            return;
        }
        calls_.append(method + u' ' + name_ + (options.isEmpty() ? u""_qs : u" forced"_qs));
    }

private:
    QStringList& calls_;
    QString name_;
    QString failure_;
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
        EXPECT_TRUE(bus_.registerObject(root, &manager_, QDBusConnection::ExportAllSlots));
        EXPECT_TRUE(bus_.registerService(u"org.freedesktop.UDisks2"_qs));
    }
    ~FakeUdisks() { QDBusConnection::disconnectFromBus(u"udisks"_qs); }

    void drive(const QString& name, const QString& sibling, bool canPowerOff,
               const QString& failure = {}) {
        const QString path = root + u"/drives/" + name;
        manager_.objects[QDBusObjectPath(path)][u"org.freedesktop.UDisks2.Drive"_qs] = {
            {u"SiblingId"_qs, sibling}, {u"CanPowerOff"_qs, canPowerOff}};
        serve(path, std::make_unique<FakeDrive>(calls, name, failure));
    }
    void fileSystem(const QString& name, const QString& drive, const QString& mountPoint,
                    const QString& failure = {}) {
        const QString path = root + u"/block_devices/" + name;
        auto& object = manager_.objects[QDBusObjectPath(path)];
        object[u"org.freedesktop.UDisks2.Block"_qs] = {
            {u"Drive"_qs, QVariant::fromValue(QDBusObjectPath(root + u"/drives/" + drive))}};
        object[u"org.freedesktop.UDisks2.Filesystem"_qs] = {
            {u"MountPoints"_qs, QVariant::fromValue(QByteArrayList{mountPoint.toUtf8() + '\0'})}};
        serve(path, std::make_unique<FakeFilesystem>(calls, name, failure));
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

// The eject runs on a worker, as in the application, while the fake answers here.
EjectOutcome eject(const QString& mountPoint, const QStringList& importing = {}) {
    auto done = std::async(std::launch::async, [=] { return ejectDrive(mountPoint, importing); });
    EXPECT_TRUE(test::waitFor([&] { return done.wait_for(0s) == std::future_status::ready; }));
    return done.get();
}

TEST(DriveEject, UnmountsEveryVolumeThenPowersOffUnlessASlotBesideItIsBusy) {
    if (!test::inChild(test::privateSessionBus)) {
        return;
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    FakeUdisks udisks;
    // A two-slot reader, a card with two partitions, and a card that stays busy.
    udisks.drive(u"slotA"_qs, u"reader-1"_qs, true);
    udisks.drive(u"slotB"_qs, u"reader-1"_qs, true);
    udisks.fileSystem(u"sdb1"_qs, u"slotA"_qs, u"/media/A001"_qs);
    udisks.fileSystem(u"sdc1"_qs, u"slotB"_qs, u"/media/B002"_qs);
    udisks.drive(u"ssd"_qs, {}, true);
    udisks.fileSystem(u"sdd1"_qs, u"ssd"_qs, u"/media/SHUTTLE"_qs);
    udisks.fileSystem(u"sdd2"_qs, u"ssd"_qs, u"/media/SHUTTLE_2"_qs);
    udisks.drive(u"held"_qs, {}, true);
    udisks.fileSystem(u"sde1"_qs, u"held"_qs, u"/media/HELD"_qs,
                      u"Error unmounting /dev/sde1: target is busy"_qs);

    EjectOutcome outcome = eject(u"/media/A001"_qs, {u"/media/B002/DCIM"_qs});
    EXPECT_EQ(outcome.message,
              u"Unmounted. The reader stays powered because B002 is still importing.");
    EXPECT_TRUE(outcome.unmounted);
    EXPECT_EQ(eject(u"/media/A001/"_qs).message,
              u"Unmounted. The reader stays powered because B002 is still mounted.");
    EXPECT_EQ(udisks.calls, (QStringList{u"Unmount sdb1"_qs, u"Unmount sdb1"_qs}))
        << "never forced, and no power off";

    udisks.calls.clear();
    outcome = eject(u"/media/SHUTTLE_2"_qs);
    EXPECT_EQ(udisks.calls,
              (QStringList{u"Unmount sdd1"_qs, u"Unmount sdd2"_qs, u"PowerOff ssd"_qs}));
    EXPECT_TRUE(outcome.poweredOff);
    EXPECT_EQ(outcome.message, u"Ejected. The card can be removed.");

    udisks.calls.clear();
    outcome = eject(u"/media/HELD"_qs);
    EXPECT_FALSE(outcome.unmounted);
    EXPECT_EQ(outcome.message,
              u"“HELD” could not be unmounted: Error unmounting /dev/sde1: target is busy");
    EXPECT_TRUE(udisks.calls.isEmpty());
    EXPECT_EQ(eject(u"/media/elsewhere"_qs).message,
              u"The system's disk service does not know this drive, so it cannot be ejected "
              u"from here.");
}

} // namespace
} // namespace quaymark::platform

#include "DriveEjectTest.moc"
