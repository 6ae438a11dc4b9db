#include "AppModel.h"
#include "app/core/Background.h"
#include "app/core/PathText.h"

#include <QCollator>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

namespace quaymark {

namespace {

const QString notEnrollable = QStringLiteral(
    "Select an external card or SSD with a stable volume ID to enable automatic importing.");

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

// Two readable listings of a new mount, a probe interval apart, before it counts as ready.
class MountReadiness : public QObject {
public:
    MountReadiness(AppModel* model, QString mountPoint, std::chrono::milliseconds interval,
                   std::function<void()> ready, std::function<void()> givenUp)
        : QObject(model)
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

void AppModel::watchDrives() {
    watcher_ = std::make_unique<platform::MountWatcher>(setup_.system);
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
                reloadSource();
                reloadTarget();
            });
    connect(watcher_.get(), &platform::MountWatcher::renamed, this, [this] { refreshVolumes(); });
    refreshVolumes();
}

void AppModel::refreshVolumes() {
    runInBackground(
        this, [system = setup_.system] { return platform::mountedVolumes(system); },
        [](AppModel& model, std::vector<platform::VolumeInfo> mounted) {
            QCollator collator;
            collator.setNumericMode(true);
            collator.setCaseSensitivity(Qt::CaseInsensitive);
            std::vector<std::pair<QString, QVariantMap>> entries;
            for (const auto& volume : mounted) {
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
                                {QStringLiteral("removable"), removableFor(volume)}});
            }
            std::stable_sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
                return collator.compare(a.first, b.first) < 0;
            });
            QVariantList published;
            for (auto& entry : entries) {
                published.append(entry.second);
            }
            if (published != model.volumes_) {
                model.volumes_ = published;
                emit model.volumesChanged();
            }
        });
}

void AppModel::enrollSource() {
    if (source_.isEmpty()) {
        setMessage(notEnrollable);
        return;
    }
    runInBackground(
        this,
        [folder = source_, system = setup_.system] {
            return platform::volumeOf(pathOf(folder), system);
        },
        [folder = source_](AppModel& model, std::optional<platform::VolumeInfo> volume) {
            if (!enrollable(volume)) {
                model.setMessage(notEnrollable);
                return;
            }
            const QString uuid = QString::fromStdString(*volume->uuid);
            if (model.preferences_.enrolled.contains(uuid)) {
                model.preferences_.enrolled.remove(uuid);
            } else {
                const QString name = volume->name.empty() ? QFileInfo(folder).fileName()
                                                          : QString::fromStdString(volume->name);
                model.preferences_.enrolled.insert(uuid, name);
            }
            model.savePreferences();
            emit model.enrolledChanged();
            emit model.cameraChanged();
        });
}

void AppModel::scheduleMount(const QString& mountPoint) {
    mountTasks_.erase(mountPoint);
    auto task = std::make_unique<MountReadiness>(
        this, mountPoint, setup_.probeInterval,
        [this, mountPoint] {
            reloadSource();
            reloadTarget();
            handleMount(mountPoint);
            endMountTask(mountPoint);
        },
        [this, mountPoint] {
            setMessage(QStringLiteral(
                "The connected drive did not become readable. Reconnect it to try again."));
            endMountTask(mountPoint);
        });
    mountTasks_[mountPoint] = std::move(task);
}

// Called from the task itself, so it is deleted once its call has returned.
void AppModel::endMountTask(const QString& mountPoint) {
    auto node = mountTasks_.extract(mountPoint);
    if (!node.empty()) {
        node.mapped().release()->deleteLater();
    }
}

void AppModel::handleMount(const QString& mountPoint) {
    if (!preferences_.autoEnabled || preferences_.enrolled.isEmpty() ||
        processedMounts_.contains(mountPoint)) {
        return;
    }
    runInBackground(
        this,
        [path = pathOf(mountPoint), system = setup_.system] {
            return platform::volumeOf(path, system);
        },
        [mountPoint](AppModel& model, std::optional<platform::VolumeInfo> volume) {
            if (!enrollable(volume) ||
                !model.preferences_.enrolled.contains(QString::fromStdString(*volume->uuid)) ||
                model.processedMounts_.contains(mountPoint)) {
                return;
            }
            model.processedMounts_.insert(mountPoint);
            model.setSource(mountPoint);
            model.enqueue(mountPoint, true);
        });
}

} // namespace quaymark
