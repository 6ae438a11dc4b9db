// Notifications and file manager requests against stand-in desktop services on a private
// session bus, and what happens without any bus. Bus tests run in a child of this program
// (started under dbus-run-session) so that each has a bus of its own; the child tests are
// disabled so that only their parents run them.

#include "app/platform/DesktopServices.h"

#include "BusChild.h"
#include "QtPrinting.h"

#include <QDBusConnection>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>

namespace quaymark::platform {
namespace {

using test::expectChildPasses;
using test::expectChildPassesOnSessionBus;

bool inChild() {
    return test::inBusChild();
}

class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList calls;

public slots:
    void ShowItems(const QStringList& uris, const QString& startup) {
        calls.append(u"ShowItems " + uris.join(u' ') + u' ' + startup);
    }
    void ShowFolders(const QStringList& uris, const QString& startup) {
        calls.append(u"ShowFolders " + uris.join(u' ') + u' ' + startup);
    }
};

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList calls;

public slots:
    uint Notify(const QString& application, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        calls.append(application + u": " + summary + u" / " + body);
        return 1;
    }
};

// Records what the desktop's default handler was asked to open.
class OpenedUrls : public QObject {
    Q_OBJECT

public:
    OpenedUrls() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QStringList urls;

public slots:
    void open(const QUrl& url) { urls.append(url.toLocalFile()); }
};

// Serves `object` under `name` on a connection of its own, answered by the main event loop.
class FakeService {
public:
    FakeService(const QString& name, const QString& path, QObject* object)
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name))
        , name_(name) {
        EXPECT_TRUE(bus_.registerObject(path, object, QDBusConnection::ExportAllSlots));
        EXPECT_TRUE(bus_.registerService(name));
    }
    ~FakeService() {
        bus_.unregisterService(name_);
        QDBusConnection::disconnectFromBus(name_);
    }
    FakeService(const FakeService&) = delete;
    FakeService& operator=(const FakeService&) = delete;

private:
    QDBusConnection bus_;
    QString name_;
};

TEST(DesktopServices, FileManagerAndNotificationsOverTheSessionBus) {
    expectChildPassesOnSessionBus("DesktopServicesChild.DISABLED_OnBus");
}

TEST(DesktopServices, WithoutABusNotificationsAreDroppedAndFoldersStillOpen) {
    expectChildPasses({"/usr/bin/env", "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"},
                      "DesktopServicesChild.DISABLED_WithoutBus");
}

TEST(DesktopServicesChild, DISABLED_OnBus) {
    if (!inChild()) {
        GTEST_SKIP()
            << "runs as a child of DesktopServices.FileManagerAndNotificationsOverTheSessionBus";
    }
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
    OpenedUrls opened;
    {
        FakeFileManager files;
        FakeNotifications notices;
        FakeService fileService(QStringLiteral("org.freedesktop.FileManager1"),
                                QStringLiteral("/org/freedesktop/FileManager1"), &files);
        FakeService noticeService(QStringLiteral("org.freedesktop.Notifications"),
                                  QStringLiteral("/org/freedesktop/Notifications"), &notices);

        revealInFileManager(QStringLiteral("/srv/footage/A 001.MOV"));
        openInFileManager(QStringLiteral("/srv/footage/2026-03-01"));
        postNotification(QStringLiteral("Import verified"), QStringLiteral("EOS_DIGITAL"));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return files.calls.size() == 2 && notices.calls.size() == 1; }, 30'000));
        EXPECT_EQ(files.calls,
                  (QStringList{QStringLiteral("ShowItems file:///srv/footage/A%20001.MOV "),
                               QStringLiteral("ShowFolders file:///srv/footage/2026-03-01 ")}));
        EXPECT_EQ(notices.calls.value(0), u"Brindleway Quaymark: Import verified / EOS_DIGITAL");
    }
    // Nobody serves the file manager interface now: its folder opens the plain way.
    revealInFileManager(QStringLiteral("/srv/footage/A 001.MOV"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.urls.isEmpty(); }, 30'000));
    EXPECT_EQ(opened.urls, QStringList{QStringLiteral("/srv/footage")});
}

TEST(DesktopServicesChild, DISABLED_WithoutBus) {
    if (!inChild()) {
        GTEST_SKIP() << "runs as a child of DesktopServices.WithoutABus…";
    }
    OpenedUrls opened;
    QElapsedTimer timer;
    timer.start();
    postNotification(QStringLiteral("Import needs attention"), QStringLiteral("CARD"));
    openInFileManager(QStringLiteral("/srv/footage/2026-03-01"));
    EXPECT_LT(timer.elapsed(), 1500);
    EXPECT_EQ(opened.urls, QStringList{QStringLiteral("/srv/footage/2026-03-01")});
}

} // namespace
} // namespace quaymark::platform

#include "DesktopServicesTest.moc"
