// SPDX-License-Identifier: GPL-3.0-or-later
// The download queue: a few links at a time, never two of one site, their tagged output lines
// applied to the links they download, and playlists turned into one link per video.
#include "DownloadQueue.h"

#include "ToolsSetup.h"
#include "app/core/PathText.h"
#include "app/platform/qt/SleepInhibitor.h"

#include <QMetaObject>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <nlohmann/json.hpp>

namespace quaymark {

namespace {

double numberAt(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_number() ? found->get<double>() : 0;
}

std::optional<nlohmann::json> parsed(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    nlohmann::json value = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (value.is_discarded()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

DownloadQueue::DownloadQueue(QList<VideoProject>& projects, ToolsSetup& tools,
                             platform::SystemPaths system, std::function<Preferences()> preferences)
    : projects_(projects)
    , tools_(tools)
    , system_(std::move(system))
    , preferences_(std::move(preferences)) {}

// The running helpers are stopped and reaped by their runners; their links stay as saved, and
// the next start shows them paused.
DownloadQueue::~DownloadQueue() = default;

QString DownloadQueue::siteOf(const QString& url) {
    const QUrl parsed(url);
    QString host = parsed.host().toLower();
    if (host.startsWith(u"www.")) {
        host.remove(0, 4);
    }
    const int port = parsed.port(parsed.scheme().toLower() == u"https" ? 443 : 80);
    return host + u':' + QString::number(port);
}

bool DownloadQueue::involves(const QUuid& project) const {
    return std::any_of(running_.cbegin(), running_.cend(),
                       [&](const Run& run) { return run.pair.project == project; }) ||
           std::any_of(queue_.cbegin(), queue_.cend(),
                       [&](const Pair& pair) { return pair.project == project; });
}

bool DownloadQueue::release(const QUuid& link) {
    if (std::any_of(running_.cbegin(), running_.cend(),
                    [&](const Run& run) { return run.pair.link == link; })) {
        return false;
    }
    std::erase_if(queue_, [&](const Pair& pair) { return pair.link == link; });
    return true;
}

VideoLink* DownloadQueue::findLink(const Pair& pair) {
    if (VideoProject* project = findProject(projects_, pair.project)) {
        for (auto& link : project->links) {
            if (link.id == pair.link) {
                return &link;
            }
        }
    }
    return nullptr;
}

const DownloadQueue::Run* DownloadQueue::findRun(const Pair& pair) const {
    const auto found = std::find_if(running_.cbegin(), running_.cend(),
                                    [&](const Run& run) { return run.pair == pair; });
    return found == running_.cend() ? nullptr : &*found;
}

template <typename Change>
void DownloadQueue::change(const Pair& pair, Change change) {
    if (VideoLink* link = findLink(pair)) {
        change(*link);
        emit linksChanged();
    }
}

template <typename Change>
void DownloadQueue::changeAndSave(const Pair& pair, Change change) {
    if (VideoLink* link = findLink(pair)) {
        change(*link);
    }
    emit saveWanted(); // which tells the observers too
}

void DownloadQueue::setBusy(bool busy) {
    if (busy_ != busy) {
        busy_ = busy;
        emit busyChanged();
    }
}

void DownloadQueue::downloadAll(const QUuid& project, const std::optional<QList<QUuid>>& only) {
    const DownloadTools::Check check = tools_.recheck();
    if (!check.ready) {
        emit notice(QStringLiteral(
            "Install the download tools first. This keeps the Quaymark app itself small."));
        return;
    }
    VideoProject* selected = findProject(projects_, project);
    if (!selected || !selected->destination) {
        emit notice(QStringLiteral("Choose a folder for this project first."));
        return;
    }
    for (auto& link : selected->links) {
        const Pair pair{selected->id, link.id};
        const bool waiting = std::any_of(queue_.cbegin(), queue_.cend(),
                                         [&](const Pair& entry) { return entry.link == link.id; });
        if (link.state == LinkState::Downloaded || findRun(pair) || waiting ||
            (only && !only->contains(link.id))) {
            continue;
        }
        queue_.push_back(pair);
        link.state = LinkState::Queued;
        link.error.reset();
    }
    emit saveWanted();
    const auto next = busy_ ? &DownloadQueue::startNext : &DownloadQueue::processQueue;
    setBusy(true);
    QMetaObject::invokeMethod(this, next, Qt::QueuedConnection);
}

void DownloadQueue::syncCollections(const QUuid& project) {
    VideoProject* selected = findProject(projects_, project);
    if (!selected) {
        return;
    }
    // Each list is listed again as a link of its own, which its listing then replaces; the
    // project's other links keep their states.
    QList<QUuid> lists;
    for (const VideoCollection& collection : selected->collections) {
        const auto pending =
            std::find_if(selected->links.cbegin(), selected->links.cend(),
                         [&](const VideoLink& link) { return link.url == collection.url; });
        if (pending != selected->links.cend()) {
            lists.append(pending->id);
            continue;
        }
        VideoLink link;
        link.url = collection.url;
        link.title = collection.title;
        selected->links.append(link);
        lists.append(link.id);
    }
    downloadAll(project, lists);
}

void DownloadQueue::pauseAll() {
    for (const Run& run : running_) {
        run.runner->cancel();
    }
    for (const Pair& pair : queue_) {
        if (VideoLink* link = findLink(pair)) {
            link->state = LinkState::Paused;
            link->speed = 0;
        }
    }
    queue_.clear();
    emit saveWanted();
}

void DownloadQueue::processQueue() {
    activity_ =
        std::make_unique<platform::SleepInhibitor>(QStringLiteral("Video project download"));
    startNext();
}

void DownloadQueue::startNext() {
    const auto places = static_cast<std::size_t>(std::clamp(preferences_().atOnce, 1, 4));
    for (auto next = queue_.begin(); next != queue_.end() && running_.size() < places;) {
        const VideoLink* link = findLink(*next);
        const QString site = link ? siteOf(link->url) : QString();
        if (link && std::any_of(running_.cbegin(), running_.cend(),
                                [&](const Run& run) { return run.site == site; })) {
            ++next; // its site is busy; a later link of another site may go first
            continue;
        }
        const Pair pair = *next;
        next = queue_.erase(next);
        launch(pair, site);
    }
    if (running_.empty()) {
        endQueue();
    }
}

bool DownloadQueue::launch(const Pair& pair, const QString& site) {
    const VideoProject* project = findProject(projects_, pair.project);
    const VideoLink* link = findLink(pair);
    if (!project || !project->destination || !link) {
        return false;
    }
    const DownloadTools& tools = tools_.tools();
    const auto ytdlp = tools.tool("yt-dlp");
    const auto ffmpeg = tools.tool("ffmpeg");
    const auto ffprobe = tools.tool("ffprobe");
    const auto deno = tools.tool("deno");
    if (!ytdlp || !ffmpeg || !ffprobe || !deno) {
        return false;
    }
    const LinkJob job{*project,         *link,         textOf(*ytdlp),         textOf(*ffmpeg),
                      textOf(*ffprobe), textOf(*deno), preferences_().cookies, system_};
    Run& run = running_.emplace_back(
        Run{pair, site, std::make_unique<DownloadRunner>(), std::make_shared<LinkResult>()});
    changeAndSave(pair, [](VideoLink& started) {
        started.state = LinkState::Downloading;
        started.error.reset();
    });
    connect(run.runner.get(), &DownloadRunner::line, this,
            [this, pair](const QString& text) { line(text, pair); });
    connect(run.runner.get(), &DownloadRunner::finished, this,
            [this, pair](const DownloadOutcome& outcome) { finished(outcome, pair); });
    // The folder is resolved, the file confirmed and hashed on the helper's thread, where a
    // stalled drive stalls only the helper.
    run.runner->run([job, result = run.result](ProcessControl& control,
                                               const DownloadRunner::LineSink& forward) {
        return job.run(control, forward, *result);
    });
    return true;
}

void DownloadQueue::line(const QString& text, const Pair& pair) {
    if (!findRun(pair)) {
        return; // a late line of a run that has ended
    }
    if (const auto progress = taggedValue(text, progressTag)) {
        const auto value = parsed(*progress);
        if (!value || !value->is_object()) {
            return;
        }
        const double downloaded = numberAt(*value, "downloaded_bytes");
        const auto total = value->find("total_bytes");
        const double size = total != value->end() && total->is_number()
                                ? total->get<double>()
                                : numberAt(*value, "total_bytes_estimate");
        const double speed = numberAt(*value, "speed");
        change(pair, [&](VideoLink& link) {
            link.fraction = size > 0 ? std::clamp(downloaded / size, 0.0, 1.0) : 0;
            link.speed = speed;
        });
    } else if (const auto title = taggedString(text, titleTag)) {
        change(pair, [&](VideoLink& link) { link.title = *title; });
    } else if (const auto output = taggedString(text, fileTag)) {
        change(pair, [&](VideoLink& link) { link.output = *output; });
    } else if (const auto converted = taggedValue(text, convertingTag)) {
        change(pair, [&](VideoLink& link) {
            link.state = LinkState::Converting;
            link.fraction = std::clamp(converted->toDouble(), 0.0, 1.0);
            link.speed = 0;
        });
    } else if (text.contains(u"[Merger]")) {
        change(pair, [](VideoLink& link) {
            link.state = LinkState::Merging;
            link.speed = 0;
        });
    }
}

void DownloadQueue::finished(const DownloadOutcome& outcome, const Pair& pair) {
    const auto found = std::find_if(running_.begin(), running_.end(),
                                    [&](const Run& run) { return run.pair == pair; });
    if (found == running_.end()) {
        return;
    }
    const LinkResult result = *found->result;
    // The tail may hold lines whose forwarded copies have not been applied yet.
    for (const QString& piece : outcome.transcript.split(u'\n', Qt::SkipEmptyParts)) {
        line(piece, pair);
    }
    // This call comes from the runner itself, so it may only go once the call has returned.
    found->runner.release()->deleteLater();
    running_.erase(found);
    if (VideoLink* link = findLink(pair); link && result.videoId) {
        link->videoId = result.videoId; // not listed again on a retry
    }
    if (outcome.kind == DownloadOutcome::Kind::Succeeded && result.playlist) {
        expand(pair, *result.playlist);
    } else if (outcome.kind == DownloadOutcome::Kind::Succeeded) {
        changeAndSave(pair, [&](VideoLink& done) {
            done.state = LinkState::Downloaded;
            done.fraction = 1.0;
            done.speed = 0;
            done.intermediate = result.intermediate;
        });
    } else if (outcome.kind == DownloadOutcome::Kind::Cancelled) {
        changeAndSave(pair, [](VideoLink& link) {
            link.state = LinkState::Paused;
            link.speed = 0;
        });
    } else {
        const QString text =
            DownloadCommand::failureText(outcome.description, preferences_().cookies,
                                         qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
        changeAndSave(pair, [&](VideoLink& link) {
            link.state = LinkState::Failed;
            link.error = text;
            link.speed = 0;
        });
    }
    startNext();
}

void DownloadQueue::expand(const Pair& pair, const PlaylistListing& listing) {
    VideoProject* project = findProject(projects_, pair.project);
    const VideoLink* listed = findLink(pair);
    if (!project || !listed) {
        return;
    }
    const QString url = listed->url;
    auto collection = std::find_if(project->collections.begin(), project->collections.end(),
                                   [&](const VideoCollection& known) { return known.url == url; });
    const bool synced = collection != project->collections.end();
    if (!synced) {
        project->collections.append(VideoCollection{url, listing.title, {}});
        collection = std::prev(project->collections.end());
    }
    QSet<QString> known(collection->ids.cbegin(), collection->ids.cend());
    for (const VideoLink& link : project->links) {
        known.insert(link.url);
        if (link.videoId) {
            known.insert(*link.videoId);
        }
    }
    QList<VideoLink> added;
    for (const PlaylistEntry& entry : listing.entries) {
        if (!collection->ids.contains(entry.id)) {
            collection->ids.append(entry.id);
        }
        if (known.contains(entry.id) || known.contains(entry.url)) {
            continue;
        }
        known.insert(entry.id);
        VideoLink link;
        link.url = entry.url;
        link.title = entry.title;
        link.state = LinkState::Queued;
        // A list inside the list is listed again when its turn comes.
        link.videoId = entry.single ? std::optional(entry.id) : std::nullopt;
        added.append(link);
    }
    const qsizetype at = project->links.indexOf(*listed);
    project->links.remove(at);
    for (qsizetype index = 0; index < added.size(); ++index) {
        project->links.insert(at + index, added[index]);
    }
    // They take the listed link's turn, in the list's order.
    for (auto link = added.crbegin(); link != added.crend(); ++link) {
        queue_.push_front(Pair{project->id, link->id});
    }
    if (added.isEmpty()) {
        emit notice(synced ? QString(u"No new videos in “" + collection->title + u"”.")
                           : QString(u"“" + collection->title + u"” holds no videos."));
    }
    emit saveWanted();
}

void DownloadQueue::endQueue() {
    activity_.reset();
    setBusy(false);
    emit saveWanted();
}

} // namespace quaymark
