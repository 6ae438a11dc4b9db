// SPDX-License-Identifier: GPL-3.0-or-later
// The download queue: one yt-dlp run at a time, its tagged output lines applied to the link it
// downloads, and the confirmation of the file it reports.
#include "DownloadQueue.h"

#include "DownloadError.h"
#include "ToolsSetup.h"
#include "app/core/PathText.h"
#include "app/platform/Bookmarks.h"
#include "app/platform/qt/SleepInhibitor.h"

#include <QFileInfo>
#include <QMetaObject>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <system_error>

namespace quaymark {

namespace {

constexpr QStringView progressTag = u"QM_PROGRESS:";
constexpr QStringView titleTag = u"QM_TITLE:";
constexpr QStringView fileTag = u"QM_FILE:";

const QString destinationUnavailable =
    QStringLiteral("The destination drive or folder is unavailable.");
const QString unconfirmedOutput =
    QStringLiteral("The helper exited without a confirmed output file. Retry to resume any "
                   "partial download.");

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

std::optional<QString> stringAfter(const QString& line, QStringView tag) {
    const auto value = parsed(line.mid(tag.size()));
    if (!value || !value->is_string()) {
        return std::nullopt;
    }
    return QString::fromStdString(value->get<std::string>());
}

// The chosen folder as it is today, on the helper's thread: a drive mounted elsewhere is
// followed. A volume that was unplugged often leaves its empty mount point behind; downloading
// there would fill the system disk instead of the drive the user chose.
std::filesystem::path destinationToday(const SavedLocation& destination,
                                       const platform::SystemPaths& system) {
    const DownloadError unavailable(downloadErrorDomain, 1, destinationUnavailable.toStdString());
    std::filesystem::path base = pathOf(destination.path);
    if (destination.bookmark) {
        const std::string bookmark = destination.bookmark->toStdString();
        if (const auto resolved = platform::resolveBookmark(bookmark, system)) {
            base = *resolved;
        } else if (platform::namesVolume(bookmark)) {
            throw unavailable;
        }
    }
    std::error_code error;
    if (!std::filesystem::is_directory(base, error)) {
        throw unavailable;
    }
    return base;
}

} // namespace

DownloadQueue::DownloadQueue(QList<VideoProject>& projects, ToolsSetup& tools,
                             platform::SystemPaths system)
    : projects_(projects)
    , tools_(tools)
    , system_(std::move(system)) {}

// The running helper is stopped and reaped by its runner; its link stays as saved, and the
// next start shows it paused.
DownloadQueue::~DownloadQueue() = default;

bool DownloadQueue::release(const QUuid& link) {
    if (active_ && active_->link == link) {
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

QStringList DownloadQueue::arguments(const QString& ffmpegFolder, const QString& deno,
                                     const QString& projectFolder, const QString& url) {
    return {
        QStringLiteral("--ignore-config"),
        QStringLiteral("--no-playlist"),
        QStringLiteral("--newline"),
        QStringLiteral("--no-colors"),
        QStringLiteral("--progress"),
        QStringLiteral("--progress-delta"),
        QStringLiteral("0.5"),
        QStringLiteral("--progress-template"),
        QStringLiteral("download:QM_PROGRESS:%(progress)j"),
        // --print silences yt-dlp's own messages; this brings back the merge notice.
        QStringLiteral("--progress-template"),
        QStringLiteral("postprocess:[%(progress.postprocessor)s] %(progress.status)s"),
        QStringLiteral("--print"),
        QStringLiteral("before_dl:QM_TITLE:%(title)j"),
        QStringLiteral("--print"),
        QStringLiteral("after_move:QM_FILE:%(filepath)j"),
        QStringLiteral("--no-simulate"),
        QStringLiteral("--format"),
        QStringLiteral("bv*+ba/b"),
        QStringLiteral("--merge-output-format"),
        QStringLiteral("mkv"),
        QStringLiteral("--ffmpeg-location"),
        ffmpegFolder,
        QStringLiteral("--js-runtimes"),
        u"deno:" + deno,
        QStringLiteral("--continue"),
        QStringLiteral("--no-overwrites"),
        QStringLiteral("--retries"),
        QStringLiteral("10"),
        QStringLiteral("--fragment-retries"),
        QStringLiteral("10"),
        QStringLiteral("--socket-timeout"),
        QStringLiteral("30"),
        QStringLiteral("--paths"),
        u"home:" + projectFolder,
        QStringLiteral("--paths"),
        u"temp:" + projectFolder + u"/.incomplete",
        QStringLiteral("--output"),
        QStringLiteral("%(title).140B [%(extractor_key)s-%(id)s].%(ext)s"),
        QStringLiteral("--write-info-json"),
        QStringLiteral("--"),
        url,
    };
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

void DownloadQueue::downloadAll(const QUuid& project) {
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
        if (link.state == LinkState::Downloaded || active_ == pair || waiting) {
            continue;
        }
        queue_.push_back(pair);
        link.state = LinkState::Queued;
        link.error.reset();
    }
    emit saveWanted();
    if (!busy_) {
        setBusy(true);
        QMetaObject::invokeMethod(this, &DownloadQueue::processQueue, Qt::QueuedConnection);
    }
}

void DownloadQueue::pauseAll() {
    if (runner_) {
        runner_->cancel();
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
    while (!queue_.empty()) {
        const Pair pair = queue_.front();
        queue_.pop_front();
        if (launch(pair)) {
            return; // finished() continues the loop
        }
    }
    endQueue();
}

bool DownloadQueue::launch(const Pair& pair) {
    const VideoProject* project = findProject(projects_, pair.project);
    if (!project || !project->destination || !findLink(pair)) {
        return false;
    }
    const auto ytdlp = tools_.tools().tool("yt-dlp");
    const auto ffmpeg = tools_.tools().tool("ffmpeg");
    const auto deno = tools_.tools().tool("deno");
    if (!ytdlp || !ffmpeg || !deno) {
        return false;
    }
    runner_ = std::make_unique<DownloadRunner>();
    active_ = pair;
    changeAndSave(pair, [](VideoLink& link) {
        link.state = LinkState::Downloading;
        link.error.reset();
    });

    connect(runner_.get(), &DownloadRunner::line, this,
            [this, pair](const QString& text) { line(text, pair); });
    connect(runner_.get(), &DownloadRunner::finished, this,
            [this, pair](const DownloadOutcome& outcome) { finished(outcome, pair); });
    // The folder is resolved once per download, and the reported file is confirmed, on the
    // helper's thread, where a stalled drive stalls only the helper.
    const auto reported = std::make_shared<std::optional<QString>>();
    runner_->start(
        textOf(*ytdlp),
        [project = *project, system = system_, ffmpeg = textOf(ffmpeg->parent_path()),
         deno = textOf(*deno), url = findLink(pair)->url] {
            const QString folder =
                project.folderIn(textOf(destinationToday(*project.destination, system)));
            std::error_code error;
            std::filesystem::create_directories(pathOf(folder), error);
            if (error) {
                throw DownloadError(downloadErrorDomain, error.value(), error.message());
            }
            return arguments(ffmpeg, deno, folder, url);
        },
        [reported](const QString& text) {
            if (text.startsWith(fileTag)) {
                if (auto output = stringAfter(text, fileTag)) {
                    *reported = std::move(output);
                }
            }
        },
        [reported] {
            if (!*reported || !QFileInfo(**reported).isFile()) {
                throw DownloadError({}, 0, unconfirmedOutput.toStdString());
            }
        });
    return true;
}

void DownloadQueue::line(const QString& text, const Pair& pair) {
    if (active_ != pair) {
        return; // a late line of a run that has ended
    }
    if (text.startsWith(progressTag)) {
        const auto value = parsed(text.mid(progressTag.size()));
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
    } else if (text.startsWith(titleTag)) {
        if (const auto title = stringAfter(text, titleTag)) {
            change(pair, [&](VideoLink& link) { link.title = *title; });
        }
    } else if (text.startsWith(fileTag)) {
        if (const auto output = stringAfter(text, fileTag)) {
            change(pair, [&](VideoLink& link) { link.output = *output; });
        }
    } else if (text.contains(u"[Merger]")) {
        change(pair, [](VideoLink& link) {
            link.state = LinkState::Merging;
            link.speed = 0;
        });
    }
}

void DownloadQueue::finished(const DownloadOutcome& outcome, const Pair& pair) {
    // This call comes from the runner itself, so it may only go once the call has returned.
    runner_.release()->deleteLater();
    switch (outcome.kind) {
    case DownloadOutcome::Kind::Succeeded: {
        // The tail may hold lines whose forwarded copies have not been applied yet.
        for (const QString& piece : outcome.transcript.split(u'\n', Qt::SkipEmptyParts)) {
            line(piece, pair);
        }
        // The helper's thread confirmed the file it reported.
        changeAndSave(pair, [](VideoLink& done) {
            done.state = LinkState::Downloaded;
            done.fraction = 1.0;
            done.speed = 0;
        });
        active_.reset();
        break;
    }
    case DownloadOutcome::Kind::Cancelled:
        changeAndSave(pair, [](VideoLink& link) {
            link.state = LinkState::Paused;
            link.speed = 0;
        });
        active_.reset();
        break;
    case DownloadOutcome::Kind::Failed:
        fail(pair, outcome.description);
        break;
    }
    startNext();
}

void DownloadQueue::fail(const Pair& pair, const QString& description) {
    changeAndSave(pair, [&](VideoLink& link) {
        link.state = LinkState::Failed;
        link.error = description;
        link.speed = 0;
    });
    active_.reset();
    runner_.reset();
}

void DownloadQueue::endQueue() {
    activity_.reset();
    setBusy(false);
    active_.reset();
    runner_.reset();
    emit saveWanted();
}

} // namespace quaymark
