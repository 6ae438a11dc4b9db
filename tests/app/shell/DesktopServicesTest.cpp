// SPDX-License-Identifier: GPL-3.0-or-later
// Notifications and file manager requests against stand-in desktop services on a private
// session bus, and what happens without any bus. Bus tests run in a child of this program
// (started under dbus-run-session) so that each has a bus of its own; the child tests are
// disabled so that only their parents run them.

#include "app/platform/qt/DesktopServices.h"

#include "BusChild.h"
#include "FakeBusService.h"
#include "QtPrinting.h"
#include "QtWaiting.h"
#include "app/shell/ShellActions.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDesktopServices>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>

namespace quaymark::platform {
namespace {

using test::expectChildPasses;
using test::expectChildPassesOnSessionBus;

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

// The desktop portal's folder chooser: records each request and answers it with the next
// prepared response (code and URIs), as a portal does, by a signal on the request's path.
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.FileChooser")

public:
    explicit FakePortal(QString connection)
        : connection_(std::move(connection)) {}
    QStringList calls;
    QList<std::pair<uint, QStringList>> responses;

public slots:
    QDBusObjectPath OpenFile(const QString& parent, const QString& title,
                             const QVariantMap& options, const QDBusMessage& message) {
        calls.append(title + u" | " + options.value(QStringLiteral("accept_label")).toString() +
                     u" | directory=" + options.value(QStringLiteral("directory")).toString() +
                     u" | " + parent);
        QString sender = message.service().mid(1);
        sender.replace(u'.', u'_');
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/") + sender +
                             u'/' + options.value(QStringLiteral("handle_token")).toString();
        const auto [code, uris] = responses.takeFirst();
        QMetaObject::invokeMethod(
            this,
            [this, path, code = code, uris = uris] {
                QDBusMessage response = QDBusMessage::createSignal(
                    path, QStringLiteral("org.freedesktop.portal.Request"),
                    QStringLiteral("Response"));
                response << code << QVariantMap{{QStringLiteral("uris"), uris}};
                QDBusConnection(connection_).send(response);
            },
            Qt::QueuedConnection);
        return QDBusObjectPath(path);
    }

private:
    QString connection_;
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

TEST(DesktopServices, FileManagerAndNotificationsOverTheSessionBus) {
    expectChildPassesOnSessionBus("DesktopServicesChild.DISABLED_OnBus");
}

TEST(DesktopServices, WithoutABusNotificationsAreDroppedAndFoldersStillOpen) {
    expectChildPasses({"/usr/bin/env", "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"},
                      "DesktopServicesChild.DISABLED_WithoutBus");
}

TEST(DesktopServicesChild, DISABLED_OnBus) {
    if (!test::inBusChild()) {
        GTEST_SKIP()
            << "runs as a child of DesktopServices.FileManagerAndNotificationsOverTheSessionBus";
    }
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
    OpenedUrls opened;
    {
        FakeFileManager files;
        FakeNotifications notices;
        test::FakeBusService fileService(QStringLiteral("org.freedesktop.FileManager1"),
                                         QStringLiteral("/org/freedesktop/FileManager1"), &files);
        test::FakeBusService noticeService(QStringLiteral("org.freedesktop.Notifications"),
                                           QStringLiteral("/org/freedesktop/Notifications"),
                                           &notices);

        revealInFileManager(QStringLiteral("/srv/footage/A 001.MOV"));
        openInFileManager(QStringLiteral("/srv/footage/2026-03-01"));
        postNotification(QStringLiteral("Import verified"), QStringLiteral("EOS_DIGITAL"));
        ASSERT_TRUE(
            test::waitFor([&] { return files.calls.size() == 2 && notices.calls.size() == 1; }));
        EXPECT_EQ(files.calls,
                  (QStringList{QStringLiteral("ShowItems file:///srv/footage/A%20001.MOV "),
                               QStringLiteral("ShowFolders file:///srv/footage/2026-03-01 ")}));
        EXPECT_EQ(notices.calls.value(0), u"Brindleway Quaymark: Import verified / EOS_DIGITAL");
    }
    // Nobody serves the file manager interface now: its folder opens the plain way.
    revealInFileManager(QStringLiteral("/srv/footage/A 001.MOV"));
    ASSERT_TRUE(test::waitFor([&] { return !opened.urls.isEmpty(); }));
    EXPECT_EQ(opened.urls, QStringList{QStringLiteral("/srv/footage")});
}

TEST(DesktopServices, FolderDialogIsThePortalsWhereThereIsOne) {
    expectChildPassesOnSessionBus("DesktopServicesChild.DISABLED_FolderPortal");
}

TEST(DesktopServicesChild, DISABLED_FolderPortal) {
    if (!test::inBusChild()) {
        GTEST_SKIP()
            << "runs as a child of DesktopServices.FolderDialogIsThePortalsWhereThereIsOne";
    }
    ShellActions actions;
    QSignalSpy ownDialog(&actions, &ShellActions::folderRequested);
    std::vector<std::optional<QString>> answers;
    const auto pick = [&](const char* title) {
        const size_t before = answers.size();
        actions.pickFolder(QString::fromUtf8(title), QStringLiteral("Choose folder"),
                           [&](std::optional<QString> folder) { answers.push_back(folder); });
        return test::waitFor([&] { return answers.size() > before || ownDialog.count() > 0; });
    };

    // No portal on the bus: the window's own dialog.
    ASSERT_TRUE(pick("Choose a backup destination"));
    ASSERT_EQ(ownDialog.count(), 1);
    actions.answerFolder(QUrl());
    ownDialog.clear();
    answers.clear();
    {
        const QString name = QStringLiteral("org.freedesktop.portal.Desktop");
        FakePortal portal(name);
        test::FakeBusService service(name, QStringLiteral("/org/freedesktop/portal/desktop"),
                                     &portal);
        portal.responses = {{0, {QStringLiteral("file:///srv/foot%20age/A001")}}, {1, {}}, {2, {}}};
        ASSERT_TRUE(pick("Choose a camera card, SSD or source folder"));
        ASSERT_TRUE(pick("Choose your main destination — local or mounted network folder"));
        ASSERT_TRUE(pick("Choose a backup destination"));
        ASSERT_EQ(portal.calls.size(), 3);
        EXPECT_EQ(portal.calls[0], u"Choose a camera card, SSD or source folder | Choose folder | "
                                   u"directory=true | ");
        ASSERT_EQ(answers.size(), 2U);
        EXPECT_EQ(answers[0], std::optional<QString>(QStringLiteral("/srv/foot age/A001")));
        EXPECT_FALSE(answers[1].has_value()) << "cancelled in the portal";
        EXPECT_EQ(ownDialog.count(), 1) << "a portal that failed hands over to the own dialog";
        EXPECT_EQ(ownDialog.value(0).value(0).toString(), u"Choose a backup destination");
        actions.answerFolder(QUrl::fromLocalFile(QStringLiteral("/srv/backup")));
        EXPECT_EQ(answers.back(), std::optional<QString>(QStringLiteral("/srv/backup")));
    }
}

TEST(DesktopServicesChild, DISABLED_WithoutBus) {
    if (!test::inBusChild()) {
        GTEST_SKIP() << "runs as a child of DesktopServices.WithoutABus…";
    }
    OpenedUrls opened;
    postNotification(QStringLiteral("Import needs attention"), QStringLiteral("CARD"));
    openInFileManager(QStringLiteral("/srv/footage/2026-03-01"));
    EXPECT_EQ(opened.urls, QStringList{QStringLiteral("/srv/footage/2026-03-01")});
}

} // namespace
} // namespace quaymark::platform

#include "DesktopServicesTest.moc"
