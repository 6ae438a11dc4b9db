// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DownloadCommand.h"
#include "DownloadRunner.h"
#include "LinkJob.h"
#include "VideoProject.h"
#include "app/platform/Volumes.h"

#include <QObject>
#include <QString>
#include <QUuid>
#include <QtQmlIntegration/qqmlintegration.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quaymark {

class ToolsSetup;

namespace platform {
class SleepInhibitor;
}

// The queue that downloads the links of the projects it is given with yt-dlp, a few at a time
// and never two of one site at once. Changes the links' states in that list and says so
// through its signals; the model that keeps the list shows and saves it. Lives on the main
// thread; each link's run has a thread of its own.
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

    // Read when the queue starts links, so a change applies to the next one.
    struct Preferences {
        // Downloads at once, 1 to 4.
        int atOnce = 2;
        CookieChoice cookies;
    };

    // `projects` and `tools` outlive the queue.
    DownloadQueue(QList<VideoProject>& projects, ToolsSetup& tools, platform::SystemPaths system,
                  std::function<Preferences()> preferences);
    ~DownloadQueue() override;

    bool busy() const { return busy_; }
    // Whether a link of the project is queued or being downloaded now.
    bool involves(const QUuid& project) const;
    // Takes the link out of the queue; false, and nothing changes, while it downloads.
    bool release(const QUuid& link);

    // The site a link counts against: its host without "www.", in lower case, and its port.
    static QString siteOf(const QString& url);

    // Queues every link of the project that is neither downloaded nor queued, or of those
    // only the links in `only`.
    void downloadAll(const QUuid& project, const std::optional<QList<QUuid>>& only = {});
    // Lists every playlist and channel the project took links from again and adds the videos
    // that are new since.
    void syncCollections(const QUuid& project);
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
    struct Run {
        Pair pair;
        QString site;
        std::unique_ptr<DownloadRunner> runner;
        std::shared_ptr<LinkResult> result;
    };

    VideoLink* findLink(const Pair& pair);
    const Run* findRun(const Pair& pair) const;
    // Applies `change` to the link of `pair`, if both still exist, and tells the observers.
    template <typename Change>
    void change(const Pair& pair, Change change);
    // The same, then saves the projects, which tells the observers once for both.
    template <typename Change>
    void changeAndSave(const Pair& pair, Change change);

    void processQueue();
    // Starts queued links while places are free, skipping those whose site already runs.
    void startNext();
    // Starts the run for `pair`; false when the pair is skipped.
    bool launch(const Pair& pair, const QString& site);
    void line(const QString& text, const Pair& pair);
    void finished(const DownloadOutcome& outcome, const Pair& pair);
    // Puts the videos of a listed link in its place and queues them.
    void expand(const Pair& pair, const PlaylistListing& listing);
    void endQueue();
    void setBusy(bool busy);

    QList<VideoProject>& projects_;
    ToolsSetup& tools_;
    platform::SystemPaths system_;
    std::function<Preferences()> preferences_;
    bool busy_ = false;
    std::deque<Pair> queue_;
    std::vector<Run> running_;
    std::unique_ptr<platform::SleepInhibitor> activity_;
};

} // namespace quaymark
