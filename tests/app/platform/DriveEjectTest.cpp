// SPDX-License-Identifier: GPL-3.0-or-later
// Eject against a fake UDisks2 on a private bus standing in for the system bus.
#include "app/platform/qt/DriveEject.h"

#include "BusChild.h"
#include "FakeUdisks.h"
#include "QtWaiting.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMetaType>
#include <QDBusObjectPath>

#include <gtest/gtest.h>

#include <future>
#include <memory>

namespace quaymark::platform {
namespace {

using namespace std::chrono_literals;
using test::FakeUdisks;

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
