// SPDX-License-Identifier: GPL-3.0-or-later
// The parts under the application model, wired in one place: the queue and the drive watcher
// read the settings through the model's reader and tell what happened through their signals;
// the model changes its own state in answer. Neither part holds the model.
#include "AppModel.h"

#include <QDir>
#include <QPointer>

namespace quaymark {

void AppModel::wireParts() {
    connect(queue_, &ImportQueue::notice, this, &AppModel::setMessage);
    connect(queue_, &ImportQueue::importFolderStarted, this, &AppModel::rememberRecovery);
    connect(queue_, &ImportQueue::importFolderVerified, this, &AppModel::forgetRecovery);
    // Batches come and go with their folders; jobs name theirs and end within a batch.
    connect(queue_, &ImportQueue::batchesChanged, this, &AppModel::refreshRecoveries);
    connect(queue_, &ImportQueue::runningFoldersChanged, this, &AppModel::refreshRecoveries);
    // What an ended batch changed: the drives' card states, the source's notice, the
    // destination's listing.
    connect(queue_, &ImportQueue::batchEnded, this, [this](const QString& source) {
        drives_->refreshVolumes();
        if (QDir::cleanPath(source) == QDir::cleanPath(source_)) {
            memory_.lookUp(source_, videosOnly());
        }
        reloadTarget();
    });
    connect(drives_, &DriveWatcher::notice, this, &AppModel::setMessage);
    connect(drives_, &DriveWatcher::sourceWanted, this, &AppModel::setSource);
    connect(drives_, &DriveWatcher::drivesChanged, this, [this] {
        reloadSource();
        reloadTarget();
    });
}

ImportSettings AppModel::importSettings() const {
    return {preferences_, targets_, effectiveCamera(), source_};
}

void AppModel::pickRecovery() {
    // The dialog may answer after the model is gone.
    pickFolder(
        QStringLiteral("Choose an interrupted import folder containing _QUAYMARK_SESSION.json"),
        primaryTarget(), [model = QPointer<AppModel>(this)](std::optional<QString> folder) {
            if (model && folder) {
                model->queue()->recover(*folder);
            }
        });
}

} // namespace quaymark
