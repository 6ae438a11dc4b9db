// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/qt/SleepInhibitor.h"

#include "BusChild.h"
#include "FakeBusService.h"
#include "QtWaiting.h"

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QTest>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <utility>
#include <vector>

namespace quaymark::platform {
namespace {

using Way = SleepInhibitor::Way;

using test::expectChildPasses;
using test::expectChildPassesOnSessionBus;

class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    struct Calls {
        std::vector<std::pair<QString, QString>> inhibited; // application, reason
        std::vector<uint> uninhibited;
    };
    Calls calls() const {
        QMutexLocker lock(&mutex_);
        return calls_;
    }

public slots:
    uint Inhibit(const QString& application, const QString& reason) {
        QMutexLocker lock(&mutex_);
        calls_.inhibited.emplace_back(application, reason);
        return 41 + static_cast<uint>(calls_.inhibited.size());
    }
    void UnInhibit(uint cookie) {
        QMutexLocker lock(&mutex_);
        calls_.uninhibited.push_back(cookie);
    }

private:
    mutable QMutex mutex_;
    Calls calls_;
};

// Hands out the write end of a pipe as its lock and keeps the read end, which sees the end of
// the pipe once every copy of the lock is closed.
class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~FakeLogind() override {
        if (readEnd_ >= 0) {
            ::close(readEnd_);
        }
    }
    QStringList arguments() const {
        QMutexLocker lock(&mutex_);
        return arguments_;
    }
    bool released() const {
        QMutexLocker lock(&mutex_);
        pollfd end{readEnd_, POLLIN, 0};
        return readEnd_ >= 0 && ::poll(&end, 1, 0) == 1 && (end.revents & POLLHUP);
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        QMutexLocker lock(&mutex_);
        arguments_ = {what, who, why, mode};
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return {};
        }
        readEnd_ = ends[0];
        QDBusUnixFileDescriptor lockEnd(ends[1]); // holds a copy
        ::close(ends[1]);
        return lockEnd;
    }

private:
    mutable QMutex mutex_;
    QStringList arguments_;
    int readEnd_ = -1;
};

TEST(SleepInhibitor, WithoutAnyBusNothingIsInhibitedAtOnce) {
    expectChildPasses({"/usr/bin/env", "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus",
                       "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/bus"},
                      "SleepInhibitorChild.DISABLED_WithoutBus");
}

TEST(SleepInhibitor, ScreenSaverInhibitedUntilDestroyed) {
    expectChildPassesOnSessionBus("SleepInhibitorChild.DISABLED_ScreenSaver");
}

TEST(SleepInhibitor, LogindLockHeldUntilDestroyed) {
    expectChildPassesOnSessionBus("SleepInhibitorChild.DISABLED_Logind");
}

TEST(SleepInhibitorChild, DISABLED_WithoutBus) {
    if (!test::inBusChild()) {
        GTEST_SKIP() << "runs as a child of SleepInhibitor.WithoutAnyBusNothingIsInhibitedAtOnce";
    }
    EXPECT_EQ(SleepInhibitor(QStringLiteral("Verified camera media import")).way(), Way::none);
}

TEST(SleepInhibitorChild, DISABLED_ScreenSaver) {
    if (!test::inBusChild()) {
        GTEST_SKIP() << "runs as a child of SleepInhibitor.ScreenSaverInhibitedUntilDestroyed";
    }
    // No logind here, whatever the machine has.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
    EXPECT_EQ(SleepInhibitor(QStringLiteral("Video project download")).way(), Way::none);

    // Both places where desktops serve the interface.
    for (const QString& path :
         {QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("/ScreenSaver")}) {
        SCOPED_TRACE(path.toStdString());
        auto* fake = new FakeScreenSaver;
        test::FakeBusService service(QStringLiteral("org.freedesktop.ScreenSaver"), path, fake,
                                     true);
        {
            SleepInhibitor inhibitor(QStringLiteral("Verified camera media import"));
            EXPECT_EQ(inhibitor.way(), Way::none) << "held from when the answer arrives";
            EXPECT_TRUE(test::waitFor([&] { return inhibitor.way() == Way::screenSaver; }));
            const auto calls = fake->calls();
            ASSERT_EQ(calls.inhibited.size(), 1u);
            EXPECT_EQ(calls.inhibited[0].first, QStringLiteral("Quaymark"));
            EXPECT_EQ(calls.inhibited[0].second, QStringLiteral("Verified camera media import"));
            EXPECT_TRUE(calls.uninhibited.empty());
        }
        EXPECT_TRUE(test::waitFor([&] { return !fake->calls().uninhibited.empty(); }));
        EXPECT_EQ(fake->calls().uninhibited, std::vector<uint>{42});
    }
}

TEST(SleepInhibitorChild, DISABLED_Logind) {
    if (!test::inBusChild()) {
        GTEST_SKIP() << "runs as a child of SleepInhibitor.LogindLockHeldUntilDestroyed";
    }
    // The session bus stands in for the system bus, where logind would be.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    auto* logind = new FakeLogind;
    test::FakeBusService service(QStringLiteral("org.freedesktop.login1"),
                                 QStringLiteral("/org/freedesktop/login1"), logind, true);
    {
        SleepInhibitor inhibitor(QStringLiteral("Verified camera media import"));
        EXPECT_TRUE(test::waitFor([&] { return inhibitor.way() == Way::logind; }));
        EXPECT_EQ(
            logind->arguments(),
            QStringList({QStringLiteral("idle:sleep"), QStringLiteral("Quaymark"),
                         QStringLiteral("Verified camera media import"), QStringLiteral("block")}));
        EXPECT_FALSE(logind->released());
    }
    EXPECT_TRUE(test::waitFor([&] { return logind->released(); }));
}

} // namespace
} // namespace quaymark::platform

#include "SleepInhibitorTest.moc"
