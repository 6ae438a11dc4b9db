// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "QtPaths.h"
#include "QtWaiting.h"
#include "TestFiles.h"
#include "app/downloads/DownloadModel.h"
#include "app/model/AppModel.h"
#include "app/shell/ShellActions.h"
#include "app/ui/UiSetup.h"

#include <QFile>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSaveFile>
#include <QSet>
#include <QTest>
#include <QThreadPool>

#include <filesystem>
#include <memory>

namespace quaymark::test {

// The offscreen platform's own screen is 800 x 600, and windows fit themselves to their
// screen: screen tests get 1920 x 1200. Call before the application object is made.
inline void useOffscreenScreen() {
    const QString config =
        QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")) + QStringLiteral("/offscreen.json");
    // Replaced whole, never truncated in place: test processes starting side by side read it.
    QSaveFile file(config);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(R"({"windowFrameMargins": false, "screens": [{"name": "Test", "x": 0, "y": 0, )"
                   R"("width": 1920, "height": 1200, "logicalDpi": 96, "logicalBaseDpi": 96, )"
                   R"("dpr": 1}]})");
        file.commit();
    }
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QFile::encodeName(config));
}

// An import model whose settings live in `home`, asking `picker` for folders.
inline std::unique_ptr<AppModel> makeAppModel(const std::filesystem::path& home,
                                              FolderPicker* picker) {
    AppModel::Setup setup;
    setup.preferences = std::make_unique<PreferenceStore>(text(home / "Quaymark.conf"));
    setup.folderPicker = picker;
    setup.catalogFile = home / "catalog.sqlite3";
    return std::make_unique<AppModel>(std::move(setup));
}

// A download model with its data folder in `home` and no tools.
inline std::unique_ptr<DownloadModel> makeDownloadModel(const std::filesystem::path& home,
                                                        FolderPicker* picker) {
    DownloadModel::Setup setup;
    setup.dataFolder = text(home / "data");
    setup.tools = DownloadTools({home / "tools"});
    setup.folderPicker = picker;
    return std::make_unique<DownloadModel>(std::move(setup));
}

// Objects the scene handed to deleteLater (canvases, their painters) are gone afterwards.
inline void flushDeletions() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Every object named `name` below `root`, in both the object tree and the item tree (views
// and repeaters parent their delegates only as items), in breadth-first order.
template <typename T = QQuickItem>
QList<T*> findAll(QObject* root, const char* name) {
    QList<T*> found;
    QList<QObject*> queue{root};
    QSet<QObject*> seen;
    while (!queue.isEmpty()) {
        QObject* object = queue.takeFirst();
        if (!object || seen.contains(object)) {
            continue;
        }
        seen.insert(object);
        auto* typed = qobject_cast<T*>(object);
        if (typed && object != root && object->objectName() == QLatin1String(name)) {
            found.append(typed);
        }
        queue.append(object->children());
        if (auto* item = qobject_cast<QQuickItem*>(object)) {
            for (QQuickItem* child : item->childItems()) {
                queue.append(child);
            }
        }
        if (auto* window = qobject_cast<QQuickWindow*>(object)) {
            queue.append(window->contentItem());
        }
    }
    return found;
}

template <typename T = QQuickItem>
T* find(QObject* root, const char* name) {
    const auto found = findAll<T>(root, name);
    return found.isEmpty() ? nullptr : found.first();
}

inline QString textOf(QObject* object) {
    return object ? object->property("text").toString() : QStringLiteral("<missing>");
}

// The middle of an item, in its window, where a user would click.
inline QPoint centreOf(QQuickItem* item) {
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
}

inline void click(QQuickItem* item, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(item->window(), button, Qt::NoModifier, centreOf(item));
}

// Types `text` into the window's focused item, key by key.
inline void type(QWindow* window, const QString& text) {
    for (const QChar c : text) {
        QTest::keyClick(window, c.toLatin1());
    }
}

// A double click as the window receives it: press, release, press, double-click, release.
inline void doubleClick(QQuickItem* item) {
    QTest::mouseDClick(item->window(), Qt::LeftButton, Qt::NoModifier, centreOf(item));
}

// The real main window over real models, shown offscreen.
class MainWindowHarness {
public:
    // `actions` should be the models' folder picker too, as in the application. Without a
    // download model the window gets an empty one of its own.
    MainWindowHarness(AppModel& model, ShellActions& actions, DownloadModel* downloads = nullptr)
        : engine_(makeUiEngine()) {
        if (!downloads) {
            ownDownloads_ = makeDownloadModel(downloadsHome_.path(), &actions);
            downloads = ownDownloads_.get();
        }
        window_ =
            loadMainWindow(*engine_, {{QStringLiteral("appModel"), QVariant::fromValue(&model)},
                                      {QStringLiteral("downloads"), QVariant::fromValue(downloads)},
                                      {QStringLiteral("shell"), QVariant::fromValue(&actions)}});
        if (window_) {
            window_->show();
            window_->requestActivate();
            (void)QTest::qWaitForWindowActive(window_);
            render();
        }
    }

    ~MainWindowHarness() {
        engine_.reset();
        flushDeletions();
    }
    MainWindowHarness(const MainWindowHarness&) = delete;
    MainWindowHarness& operator=(const MainWindowHarness&) = delete;

    QQuickWindow* window() const { return window_; }

    template <typename T = QQuickItem>
    T* find(const char* name) const {
        return test::find<T>(window_, name);
    }

    // Waits for the scene to be laid out and drawn after a change.
    void render() const {
        QCoreApplication::processEvents();
        if (window_) {
            window_->grabWindow();
        }
    }

private:
    TempDir downloadsHome_;
    std::unique_ptr<DownloadModel> ownDownloads_;
    std::unique_ptr<QQmlApplicationEngine> engine_;
    QQuickWindow* window_ = nullptr;
};

} // namespace quaymark::test
