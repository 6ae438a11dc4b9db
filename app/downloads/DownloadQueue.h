// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DownloadRunner.h"
#include "VideoProject.h"
#include "app/platform/Volumes.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QtQmlIntegration/qqmlintegration.h>

#include <deque>
#include <memory>
#include <optional>

namespace quaymark {

class ToolsSetup;

namespace platform {
class SleepInhibitor;
}

// The queue that downloads the links of the projects it is given, one at a time, with yt-dlp.
// Changes the links' states in that list and says so through its signals; the model that keeps
// the list shows and saves it. Lives on the main thread; each helper runs on a thread of its own.
class DownloadQueue : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The download queue comes from the download model.")
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)

public:
    // A link and the project it belongs to.
    struct Pair {
        QUuid project;
        QUuid link;
        bool operator==(const Pair&) const = default;
    };

    // `projects` and `tools` outlive the queue.
    DownloadQueue(QList<VideoProject>& projects, ToolsSetup& tools, platform::SystemPaths system);
    ~DownloadQueue() override;

    bool busy() const { return busy_; }
    // Takes the link out of the queue; false, and nothing changes, while it downloads.
    bool release(const QUuid& link);

    // The exact command line for one link: tools, the project folder and the address.
    static QStringList arguments(const QString& ffmpegFolder, const QString& deno,
                                 const QString& projectFolder, const QString& url);

    // Queues every link of the project that is neither downloaded nor queued.
    void downloadAll(const QUuid& project);
    Q_INVOKABLE void pauseAll();

signals:
    void busyChanged();
    // A refusal or a failure the window shows.
    void notice(const QString& text);
    // A link's progress changed; nothing needs saving yet.
    void linksChanged();
    // A link's state changed: the projects are to be saved.
    void saveWanted();

private:
    VideoLink* findLink(const Pair& pair);
    // Applies `change` to the link of `pair`, if both still exist, and tells the observers.
    template <typename Change>
    void change(const Pair& pair, Change change);
    // The same, then saves the projects, which tells the observers once for both.
    template <typename Change>
    void changeAndSave(const Pair& pair, Change change);

    // The worker loop, one helper at a time.
    void processQueue();
    void startNext();
    // Starts the helper for `pair`; false when the pair is skipped or failed before launch.
    bool launch(const Pair& pair);
    void line(const QString& text, const Pair& pair);
    void finished(const DownloadOutcome& outcome, const Pair& pair);
    void fail(const Pair& pair, const QString& description);
    void endQueue();
    void setBusy(bool busy);

    QList<VideoProject>& projects_;
    ToolsSetup& tools_;
    platform::SystemPaths system_;
    bool busy_ = false;
    std::deque<Pair> queue_;
    std::optional<Pair> active_;
    std::unique_ptr<DownloadRunner> runner_;
    std::unique_ptr<platform::SleepInhibitor> activity_;
};

} // namespace quaymark
