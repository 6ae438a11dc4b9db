// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppModel.h"
#include "BrowserEntry.h"
#include "app/core/Background.h"
#include "app/core/PathText.h"
#include "app/platform/Bookmarks.h"
#include "ingest/camera/CameraMetadata.h"
#include "ingest/scan/SourceScan.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace quaymark {

namespace {

// Folders compare in their standardised form with symbolic links resolved.
QString resolved(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : canonical;
}

} // namespace

void AppModel::reloadSource() {
    sourceBrowser_.reload(source_, preferences_.videosOnly);
}

void AppModel::reloadTarget() {
    targetBrowser_.reload(primaryTarget(), false);
}

void AppModel::setSource(const QString& folder) {
    if (platform::startAccessingSecurityScope(pathOf(folder)) && !scopes_.contains(folder)) {
        scopes_.append(folder);
    }
    source_ = folder;
    sourceVolume_.reset();
    cameraName_ = unknownCamera;
    emit sourceChanged();
    emit cameraNameChanged();
    emit cameraChanged();
    emit namingPreviewChanged();

    cameraTask_.request_stop();
    cameraTask_ = std::stop_source();
    reloadSource();
    startCameraDetection(folder);
}

void AppModel::startCameraDetection(const QString& folder) {
    runInBackground(
        this,
        [folder, system = setup_.system] {
            const auto uuid = platform::volumeUuid(pathOf(folder), system);
            return uuid ? QString::fromStdString(*uuid) : QString();
        },
        [folder](AppModel& model, QString uuid) {
            if (model.source_ == folder) {
                model.sourceVolume_ = uuid;
                emit model.cameraChanged();
                emit model.namingPreviewChanged();
            }
        });
    runInBackground(
        this,
        [folder, stop = cameraTask_.get_token()] {
            std::vector<std::filesystem::path> clips;
            try {
                clips = ImportEngine::videoFiles(pathOf(folder));
            } catch (const std::exception&) {
                // An unreadable source names no camera; its listing shows the error.
            }
            return CameraMetadata::detect(clips, stop);
        },
        [folder, stop = cameraTask_.get_token()](AppModel& model, std::optional<std::string> name) {
            if (stop.stop_requested() || model.source_ != folder) {
                return;
            }
            model.cameraName_ = name ? QString::fromStdString(*name) : unknownCamera;
            emit model.cameraNameChanged();
            emit model.cameraChanged();
            emit model.namingPreviewChanged();
        });
}

void AppModel::chooseSource(const QString& folder) {
    setSource(folder);
}

void AppModel::chooseTarget(bool backup, const QString& folder) {
    placeTarget(folder, backup ? TargetPlace::backup : TargetPlace::main);
}

void AppModel::navigateTarget(const QString& folder) {
    placeTarget(folder, TargetPlace::browsed);
}

void AppModel::placeTarget(const QString& folder, TargetPlace place) {
    const std::uint64_t choice = nextChoice_++;
    targetChoices_[choice] = TargetChoice{folder, place};
    QStringList folders = targets_;
    folders.append(folder);
    // Resolving links touches every destination, and one may be a stalled network share.
    runInBackground(
        this,
        [folders] {
            QHash<QString, QString> forms;
            for (const QString& each : folders) {
                forms.insert(each, resolved(each));
            }
            return forms;
        },
        [choice](AppModel& model, QHash<QString, QString> forms) {
            model.resolvedFolders_.insert(forms);
            model.targetChoices_[choice].checked = true;
            model.applyTargetChoices();
        });
}

void AppModel::applyTargetChoices() {
    while (!targetChoices_.empty() && targetChoices_.begin()->second.checked) {
        const TargetChoice choice = targetChoices_.begin()->second;
        targetChoices_.erase(targetChoices_.begin());
        applyTarget(choice.folder, choice.place);
    }
}

void AppModel::applyTarget(const QString& folder, TargetPlace place) {
    if (place == TargetPlace::browsed && targets_.isEmpty()) {
        return;
    }
    const auto form = [this](const QString& each) {
        return resolvedFolders_.value(each, QDir::cleanPath(each));
    };
    const QString wanted = form(folder);
    for (qsizetype i = place == TargetPlace::backup ? 0 : 1; i < targets_.size(); ++i) {
        if (form(targets_[i]) == wanted) {
            setMessage(place == TargetPlace::browsed
                           ? QStringLiteral("That folder is already a backup destination.")
                           : QStringLiteral("That folder is already a destination."));
            return;
        }
    }
    if (place != TargetPlace::browsed && platform::startAccessingSecurityScope(pathOf(folder)) &&
        !scopes_.contains(folder)) {
        scopes_.append(folder);
    }
    const SavedLocation location{folder, std::nullopt};
    if (place != TargetPlace::backup && !targets_.isEmpty()) {
        targets_[0] = folder;
        preferences_.destinations[0] = location;
    } else {
        targets_.append(folder);
        preferences_.destinations.append(location);
    }
    emit targetsChanged();
    savePreferences();
    bookmarkLater(folder);
    reloadTarget();
}

void AppModel::removeTarget(int index) {
    if (index < 0 || index >= targets_.size()) {
        return;
    }
    targets_.removeAt(index);
    preferences_.destinations.removeAt(index);
    emit targetsChanged();
    savePreferences();
    reloadTarget();
}

void AppModel::pickFolder(const QString& title,
                          std::function<void(std::optional<QString>)> completion) {
    if (setup_.folderPicker) {
        setup_.folderPicker->pickFolder(title, QStringLiteral("Choose folder"),
                                        std::move(completion));
    }
}

void AppModel::pickSource() {
    // The dialog may answer after the model is gone.
    pickFolder(QStringLiteral("Choose a camera card, SSD or source folder"),
               [model = QPointer<AppModel>(this)](std::optional<QString> folder) {
                   if (model && folder) {
                       model->chooseSource(*folder);
                   }
               });
}

void AppModel::pickTarget(bool backup) {
    const QString title =
        backup ? QStringLiteral("Choose a backup destination")
               : QStringLiteral("Choose your main destination — local or mounted network folder");
    pickFolder(title, [model = QPointer<AppModel>(this), backup](std::optional<QString> folder) {
        if (model && folder) {
            model->chooseTarget(backup, *folder);
        }
    });
}

void AppModel::pickRecovery() {
    pickFolder(
        QStringLiteral("Choose an interrupted import folder containing _QUAYMARK_SESSION.json"),
        [model = QPointer<AppModel>(this)](std::optional<QString> folder) {
            if (model && folder) {
                model->queue_->recover(*folder);
            }
        });
}

} // namespace quaymark
