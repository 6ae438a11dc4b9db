// SPDX-License-Identifier: GPL-3.0-or-later
// Each test runs in a child of this program under a session bus of its own, where stand-ins
// serve the screen saver and logind.
#include "app/platform/qt/SleepInhibitor.h"

#include "BusChild.h"
#include "FakeBusService.h"
#include "QtWaiting.h"

#include <QDBusUnixFileDescriptor>
#include <QObject>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

namespace quaymark::platform {
namespace {

using Way = SleepInhibitor::Way;

class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    QStringList calls;

public slots:
    uint Inhibit(const QString& application, const QString& reason) {
        calls.append(u"Inhibit " + application + u": " + reason);
        return 42;
    }
    void UnInhibit(uint cookie) { calls.append(u"UnInhibit " + QString::number(cookie)); }
};

// Hands out the write end of a pipe as its lock and keeps the read end, which sees the end of
// the pipe once every copy of the lock is closed.
class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~FakeLogind() override { ::close(readEnd_); }
    QStringList arguments;
    bool released() const {
        pollfd end{readEnd_, POLLIN, 0};
        return readEnd_ >= 0 && ::poll(&end, 1, 0) == 1 && (end.revents & POLLHUP);
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        arguments = {what, who, why, mode};
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
    int readEnd_ = -1;
};

TEST(SleepInhibitor, ScreenSaverInhibitedUntilDestroyed) {
    if (!test::inChild(test::privateSessionBus)) {
        return;
    }
    // No logind here, whatever the machine has.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    EXPECT_EQ(SleepInhibitor(QStringLiteral("Video project download")).way(), Way::none);

    // Both places where desktops serve the interface.
    for (const QString& path :
         {QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("/ScreenSaver")}) {
        SCOPED_TRACE(path.toStdString());
        FakeScreenSaver fake;
        test::FakeBusService service(QStringLiteral("org.freedesktop.ScreenSaver"), path, &fake);
        const QString inhibited = QStringLiteral("Inhibit Quaymark: Verified camera media import");
        {
            SleepInhibitor inhibitor(QStringLiteral("Verified camera media import"));
            EXPECT_EQ(inhibitor.way(), Way::none) << "held from when the answer arrives";
            EXPECT_TRUE(test::waitFor([&] { return inhibitor.way() == Way::screenSaver; }));
            EXPECT_EQ(fake.calls, QStringList{inhibited});
        }
        EXPECT_TRUE(test::waitFor([&] { return fake.calls.size() == 2; }));
        EXPECT_EQ(fake.calls, (QStringList{inhibited, QStringLiteral("UnInhibit 42")}));
    }
}

TEST(SleepInhibitor, LogindLockHeldUntilDestroyed) {
    if (!test::inChild(test::privateSessionBus)) {
        return;
    }
    // The session bus stands in for the system bus, where logind would be.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    FakeLogind logind;
    test::FakeBusService service(QStringLiteral("org.freedesktop.login1"),
                                 QStringLiteral("/org/freedesktop/login1"), &logind);
    {
        SleepInhibitor inhibitor(QStringLiteral("Verified camera media import"));
        EXPECT_TRUE(test::waitFor([&] { return inhibitor.way() == Way::logind; }));
        EXPECT_EQ(
            logind.arguments,
            QStringList({QStringLiteral("idle:sleep"), QStringLiteral("Quaymark"),
                         QStringLiteral("Verified camera media import"), QStringLiteral("block")}));
        EXPECT_FALSE(logind.released());
    }
    EXPECT_TRUE(test::waitFor([&] { return logind.released(); }));
}

} // namespace
} // namespace quaymark::platform

#include "SleepInhibitorTest.moc"
