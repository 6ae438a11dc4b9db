// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveWatcher.h"

#include "CatalogWork.h"
#include "ImportQueue.h"
#include "ReaderEnrollment.h"
#include "app/core/AppDiagnostics.h"
#include "app/core/Background.h"
#include "app/core/PathText.h"
#include "app/platform/qt/DriveEject.h"
#include "app/platform/qt/MountWatcher.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

namespace quaymark {

namespace {

// Removable for the drives list: a local volume that is removable or ejectable, or that says
// it is not internal (a USB SSD often reports neither flag).
bool removableFor(const platform::VolumeInfo& volume) {
    if (!volume.local) {
        return false;
    }
    if (volume.removable.value_or(false) || volume.ejectable.value_or(false)) {
        return true;
    }
    return volume.internal.has_value() && !*volume.internal;
}

bool enrollable(const std::optional<platform::VolumeInfo>& volume) {
    return volume && volume->uuid && !volume->internal.value_or(false) && volume->local;
}

using VolumeStates = std::vector<std::pair<platform::VolumeInfo, CatalogWork::CardStateText>>;

// Every mounted volume, with whether its card may be formatted, for its row. A drive that holds
// a destination is no card, and listing it whole would take long.
VolumeStates volumesWithStates(const platform::SystemPaths& system,
                               const std::filesystem::path& catalogFile, bool videosOnly,
                               int required, const QStringList& targets) {
    VolumeStates volumes;
    for (auto& volume : platform::mountedVolumes(system)) {
        const QString mountPoint = textOf(volume.mountPoint);
        const bool destination =
            std::any_of(targets.begin(), targets.end(), [&](const QString& target) {
                return target == mountPoint || target.startsWith(mountPoint + u'/');
            });
        const auto state = removableFor(volume) && !volume.internal.value_or(false) && !destination
                               ? CatalogWork::cardState(catalogFile, volume.mountPoint, videosOnly,
                                                        required, system)
                               : CatalogWork::CardStateText{};
        volumes.emplace_back(std::move(volume), state);
    }
    return volumes;
}

// Two readable listings of a new mount, a probe interval apart, before it counts as ready.
class MountReadiness : public QObject {
public:
    MountReadiness(DriveWatcher* owner, QString mountPoint, std::chrono::milliseconds interval,
                   std::function<void()> ready, std::function<void()> givenUp)
        : QObject(owner)
        , mountPoint_(std::move(mountPoint))
        , ready_(std::move(ready))
        , givenUp_(std::move(givenUp)) {
        timer_.setSingleShot(true);
        timer_.setInterval(interval);
        connect(&timer_, &QTimer::timeout, this, &MountReadiness::probe);
        timer_.start();
    }

private:
    static constexpr int failureLimit = 20;

    void probe() {
        runInBackground(
            this,
            [path = pathOf(mountPoint_)] {
                std::error_code error;
                std::filesystem::directory_iterator listing(path, error);
                return !error;
            },
            [](MountReadiness& self, bool readable) { self.probed(readable); });
    }

    void probed(bool readable) {
        if (readable && previousReadable_) {
            ready_();
            return;
        }
        previousReadable_ = readable;
        if (++failures_ >= failureLimit) {
            givenUp_();
            return;
        }
        timer_.start();
    }

    QString mountPoint_;
    std::function<void()> ready_;
    std::function<void()> givenUp_;
    QTimer timer_;
    bool previousReadable_ = false;
    int failures_ = 0;
};

} // namespace

DriveWatcher::DriveWatcher(ImportSettingsReader settings, std::filesystem::path catalogFile,
                           const ReaderEnrollment& readers, ImportQueue& queue,
                           platform::SystemPaths system, std::chrono::milliseconds probeInterval,
                           QObject* parent)
    : QObject(parent)
    , settings_(std::move(settings))
    , catalogFile_(std::move(catalogFile))
    , readers_(readers)
    , queue_(queue)
    , system_(std::move(system))
    , probeInterval_(probeInterval) {
    watcher_ = std::make_unique<platform::MountWatcher>(system_);
    connect(watcher_.get(), &platform::MountWatcher::mounted, this,
            [this](const platform::VolumeInfo& volume) {
                refreshVolumes();
                scheduleMount(textOf(volume.mountPoint));
            });
    connect(watcher_.get(), &platform::MountWatcher::unmounted, this,
            [this](const platform::VolumeInfo& volume) {
                const QString mountPoint = textOf(volume.mountPoint);
                processedMounts_.remove(mountPoint);
                mountTasks_.erase(mountPoint);
                refreshVolumes();
                emit drivesChanged();
            });
    connect(watcher_.get(), &platform::MountWatcher::renamed, this, [this] { refreshVolumes(); });
    refreshVolumes();
}

DriveWatcher::~DriveWatcher() = default;

void DriveWatcher::refreshVolumes() {
    const ImportSettings settings = settings_();
    runInBackground(
        this,
        [system = system_, catalogFile = catalogFile_, videosOnly = settings.preferences.videosOnly,
         required = settings.preferences.requiredCopies, targets = settings.targets] {
            return volumesWithStates(system, catalogFile, videosOnly, required, targets);
        },
        [](DriveWatcher& drives, VolumeStates mounted) {
            QCollator collator;
            collator.setNumericMode(true);
            collator.setCaseSensitivity(Qt::CaseInsensitive);
            std::vector<std::pair<QString, QVariantMap>> entries;
            for (const auto& [volume, state] : mounted) {
                if (volume.internal.value_or(false)) {
                    continue;
                }
                const QString name = QString::fromStdString(volume.name);
                entries.emplace_back(
                    name,
                    QVariantMap{{QStringLiteral("url"), textOf(volume.mountPoint)},
                                {QStringLiteral("name"), name},
                                {QStringLiteral("uuid"),
                                 volume.uuid ? QString::fromStdString(*volume.uuid) : QString()},
                                {QStringLiteral("removable"), removableFor(volume)},
                                {QStringLiteral("cardState"), state.text},
                                {QStringLiteral("safeToFormat"), state.safeToFormat}});
            }
            std::stable_sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
                return collator.compare(a.first, b.first) < 0;
            });
            QVariantList published;
            for (auto& entry : entries) {
                published.append(entry.second);
            }
            if (published != drives.volumes_) {
                drives.volumes_ = published;
                emit drives.volumesChanged();
            }
        });
}

void DriveWatcher::scheduleMount(const QString& mountPoint) {
    mountTasks_.erase(mountPoint);
    auto task = std::make_unique<MountReadiness>(
        this, mountPoint, probeInterval_,
        [this, mountPoint] {
            emit drivesChanged();
            handleMount(mountPoint);
            endMountTask(mountPoint);
        },
        [this, mountPoint] {
            emit notice(QStringLiteral(
                "The connected drive did not become readable. Reconnect it to try again."));
            endMountTask(mountPoint);
        });
    mountTasks_[mountPoint] = std::move(task);
}

// Called from the task itself, so it is deleted once its call has returned.
void DriveWatcher::endMountTask(const QString& mountPoint) {
    auto node = mountTasks_.extract(mountPoint);
    if (!node.empty()) {
        node.mapped().release()->deleteLater();
    }
}

void DriveWatcher::handleMount(const QString& mountPoint) {
    const StoredPreferences preferences = settings_().preferences;
    if (!preferences.autoEnabled ||
        (preferences.enrolled.isEmpty() && readers_.readers().isEmpty()) ||
        processedMounts_.contains(mountPoint)) {
        return;
    }
    runInBackground(
        this,
        [path = pathOf(mountPoint), system = system_] {
            auto volume = platform::volumeOf(path, system);
            QString reader = ReaderEnrollment::readerOf(volume, system).id;
            return std::pair(std::move(volume), std::move(reader));
        },
        [mountPoint](DriveWatcher& drives,
                     const std::pair<std::optional<platform::VolumeInfo>, QString>& found) {
            const auto& [volume, reader] = found;
            const bool enrolledCard =
                enrollable(volume) && drives.settings_().preferences.enrolled.contains(
                                          QString::fromStdString(*volume->uuid));
            const bool enrolled = enrolledCard || drives.readers_.contains(reader);
            if (!enrolled || drives.processedMounts_.contains(mountPoint)) {
                emit drives.mountConsidered(mountPoint, false);
                return;
            }
            emit drives.mountConsidered(mountPoint, true);
            drives.processedMounts_.insert(mountPoint);
            emit drives.sourceWanted(mountPoint);
            drives.importUnlessImported(mountPoint);
        });
}

void DriveWatcher::importUnlessImported(const QString& mountPoint) {
    runInBackground(
        this,
        [catalogFile = catalogFile_, path = pathOf(mountPoint),
         videosOnly = settings_().preferences.videosOnly, system = system_] {
            return CatalogWork::lookUpSource(catalogFile, path, videosOnly, system);
        },
        [mountPoint](DriveWatcher& drives, CatalogWork::SourceNotice notice) {
            using Kind = catalog::CardLookup::Kind;
            if (notice.kind == Kind::alreadyImported) {
                AppDiagnostics::log(u"Automatic import skipped for " + mountPoint + u": " +
                                    notice.text);
                emit drives.automaticImportSkipped(notice.text);
            } else if (notice.kind == Kind::newFiles) {
                drives.queue_.enqueueFiles(mountPoint, true, std::move(notice.newFiles));
            } else {
                drives.queue_.enqueue(mountPoint, true);
            }
        });
}

void DriveWatcher::eject(const QString& path) {
    const StoredPreferences preferences = settings_().preferences;
    runInBackground(
        this,
        [path = pathOf(path), system = system_, catalogFile = catalogFile_,
         videosOnly = preferences.videosOnly, required = preferences.requiredCopies] {
            const auto volume = platform::volumeOf(path, system);
            const auto mountPoint = volume ? volume->mountPoint : path;
            return std::pair(
                textOf(mountPoint),
                CatalogWork::cardState(catalogFile, mountPoint, videosOnly, required, system));
        },
        [](DriveWatcher& drives, const std::pair<QString, CatalogWork::CardStateText>& found) {
            const auto& [mountPoint, state] = found;
            if (state.safeToFormat) {
                drives.ejectNow(mountPoint);
                return;
            }
            drives.pendingEject_ = mountPoint;
            drives.ejectQuestion_ =
                u"“" + QFileInfo(mountPoint).fileName() + u"” is not safe to format (" +
                (state.text.isEmpty() ? u"Not imported"_qs : state.text) + u"). Eject it anyway?";
            emit drives.ejectQuestionChanged();
        });
}

void DriveWatcher::answerEject(bool ejectAnyway) {
    const QString mountPoint = std::exchange(pendingEject_, QString());
    if (ejectQuestion_.isEmpty()) {
        return;
    }
    ejectQuestion_.clear();
    emit ejectQuestionChanged();
    if (ejectAnyway) {
        ejectNow(mountPoint);
    }
}

void DriveWatcher::ejectNow(const QString& mountPoint) {
    QStringList importing;
    for (const ImportBatch* batch : queue_.batches()) {
        if (batch->active()) {
            importing.append(QDir::cleanPath(batch->source()));
        }
    }
    runInBackground(
        this, [mountPoint, importing] { return platform::ejectDrive(mountPoint, importing); },
        [](DriveWatcher& drives, const platform::EjectOutcome& outcome) {
            AppDiagnostics::log(u"Eject: " + outcome.message);
            emit drives.notice(outcome.message);
            drives.refreshVolumes();
        });
}

} // namespace quaymark
