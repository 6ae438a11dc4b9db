// SPDX-License-Identifier: GPL-3.0-or-later
// Notifications, file manager requests and folder dialogs against stand-in desktop services,
// each test in a child of this program with a session bus of its own.

#include "app/platform/qt/DesktopServices.h"

#include "BusChild.h"
#include "FakeBusService.h"
#include "QtPrinting.h"
#include "QtWaiting.h"
#include "app/shell/ShellActions.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QSignalSpy>
#include <QUrl>

#include <gtest/gtest.h>

namespace quaymark::platform {
namespace {

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
// prepared response (code and URIs), as a portal does, by a signal on the request's path; with
// none prepared the call itself fails.
class FakePortal : public QObject, protected QDBusContext {
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
        const QByteArray start = options.value(QStringLiteral("current_folder")).toByteArray();
        calls.append(title + u" | " + options.value(QStringLiteral("accept_label")).toString() +
                     u" | directory=" + options.value(QStringLiteral("directory")).toString() +
                     u" | " + parent + u" | " + QString::fromLatin1(start.toPercentEncoding("/ ")));
        if (responses.isEmpty()) {
            sendErrorReply(QDBusError::Failed, QStringLiteral("no chooser backend"));
            return {};
        }
        QString sender = message.service().mid(1);
        sender.replace(u'.', u'_');
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/") + sender +
                             u'/' + options.value(QStringLiteral("handle_token")).toString();
        // Answered before the call returns, as a quick portal may.
        const auto [code, uris] = responses.takeFirst();
        QDBusMessage response = QDBusMessage::createSignal(
            path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << code << QVariantMap{{QStringLiteral("uris"), uris}};
        QDBusConnection(connection_).send(response);
        return QDBusObjectPath(path);
    }

private:
    QString connection_;
};

TEST(DesktopServices, FileManagerAndNotificationsOverTheSessionBus) {
    if (!test::inChild(test::privateSessionBus)) {
        return;
    }
    ShellActions actions;
    QSignalSpy problems(&actions, &ShellActions::problemReported);
    {
        FakeFileManager files;
        FakeNotifications notices;
        test::FakeBusService fileService(QStringLiteral("org.freedesktop.FileManager1"),
                                         QStringLiteral("/org/freedesktop/FileManager1"), &files);
        test::FakeBusService noticeService(QStringLiteral("org.freedesktop.Notifications"),
                                           QStringLiteral("/org/freedesktop/Notifications"),
                                           &notices);

        actions.reveal(QStringLiteral("/srv/footage/A 001.MOV"));
        actions.openFolder(QStringLiteral("/srv/footage/2026-03-01"));
        postNotification(QStringLiteral("Import verified"), QStringLiteral("EOS_DIGITAL"));
        ASSERT_TRUE(
            test::waitFor([&] { return files.calls.size() == 2 && notices.calls.size() == 1; }));
        EXPECT_EQ(files.calls,
                  (QStringList{QStringLiteral("ShowItems file:///srv/footage/A%20001.MOV "),
                               QStringLiteral("ShowFolders file:///srv/footage/2026-03-01 ")}));
        EXPECT_EQ(notices.calls.value(0), u"Brindleway Quaymark: Import verified / EOS_DIGITAL");
    }
    EXPECT_EQ(problems.count(), 0);

    // No file manager on the bus and no program for folders: said, not silently dropped.
    qputenv("PATH", QByteArrayLiteral("/nonexistent"));
    actions.reveal(QStringLiteral("/srv/footage/A 001.MOV"));
    ASSERT_TRUE(test::waitFor([&] { return problems.count() == 1; }));
    EXPECT_EQ(problems[0][0].toString(), u"No file manager is installed to show this folder.");
}

TEST(DesktopServices, FolderDialogIsThePortalsWhereThereIsOne) {
    if (!test::inChild(test::privateSessionBus)) {
        return;
    }
    ShellActions actions;
    QSignalSpy ownDialog(&actions, &ShellActions::folderRequested);
    std::vector<std::optional<QString>> answers;
    const auto pick = [&](const char* title, const QString& start = {}) {
        const size_t before = answers.size();
        actions.pickFolder(QString::fromUtf8(title), QStringLiteral("Choose folder"), start,
                           [&](std::optional<QString> folder) { answers.push_back(folder); });
        return test::waitFor([&] { return answers.size() > before || ownDialog.count() > 0; });
    };

    // No portal on the bus: the window's own dialog.
    ASSERT_TRUE(pick("Choose a backup destination"));
    ASSERT_EQ(ownDialog.count(), 1);
    actions.answerFolder(QUrl());
    ownDialog.clear();
    answers.clear();

    const QString name = QStringLiteral("org.freedesktop.portal.Desktop");
    FakePortal portal(name);
    test::FakeBusService service(name, QStringLiteral("/org/freedesktop/portal/desktop"), &portal);
    portal.responses = {{0, {QStringLiteral("file:///srv/foot%20age/A001")}}, {1, {}}, {2, {}}};
    ASSERT_TRUE(pick("Choose a camera card", QStringLiteral("/srv/card é")));
    ASSERT_TRUE(pick("Choose your main destination"));
    ASSERT_TRUE(pick("Choose a backup destination"));
    ASSERT_EQ(portal.calls.size(), 3);
    EXPECT_EQ(portal.calls[0], u"Choose a camera card | Choose folder | directory=true |  | "
                               u"/srv/card %C3%A9%00")
        << "the folder the pane shows, as bytes ending in NUL";
    EXPECT_TRUE(portal.calls[1].endsWith(u" |  | ")) << "none where nothing is shown";
    EXPECT_EQ(answers, (std::vector<std::optional<QString>>{QStringLiteral("/srv/foot age/A001"),
                                                            std::nullopt, std::nullopt}))
        << "chosen, cancelled, then closed with Escape: each a cancel";
    EXPECT_EQ(ownDialog.count(), 0) << "no second dialog after the portal's";
    ASSERT_TRUE(pick("Choose a backup destination"));
    EXPECT_EQ(ownDialog.count(), 1) << "a portal call that failed hands over to the own dialog";
    actions.answerFolder(QUrl::fromLocalFile(QStringLiteral("/srv/backup")));
    EXPECT_EQ(answers.back(), std::optional<QString>(QStringLiteral("/srv/backup")));
}

} // namespace
} // namespace quaymark::platform

#include "DesktopServicesTest.moc"
