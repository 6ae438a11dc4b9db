#include "AppModel.h"
#include "Background.h"
#include "BrowserEntry.h"
#include "app/platform/Bookmarks.h"
#include "ingest/camera/CameraMetadata.h"
#include "ingest/scan/SourceScan.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

namespace quaymark {

namespace {

const QString unknownCamera = QStringLiteral("Unknown Camera");

// Folders compare in their standardised form with symbolic links resolved.
QString resolved(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : canonical;
}

std::filesystem::path pathOf(const QString& folder) {
    return QFile::encodeName(folder).toStdString();
}

} // namespace

void AppModel::reloadSource() {
    sourceGeneration_ = QUuid::createUuid().toString();
    if (source_.isEmpty()) {
        sourceEntries_.setEntries({});
        sourceError_.clear();
        sourceLoading_ = false;
        emit sourceListingChanged();
        return;
    }
    sourceLoading_ = true;
    emit sourceListingChanged();
    runInBackground(
        this,
        [folder = source_, videosOnly = preferences_.videosOnly] {
            return readDirectory(folder, videosOnly);
        },
        [generation = sourceGeneration_](AppModel& model, DirectoryListing listing) {
            if (model.sourceGeneration_ != generation) {
                return; // a newer listing was asked for
            }
            model.sourceEntries_.setEntries(std::move(listing.entries));
            model.sourceError_ = listing.error.value_or(QString());
            model.sourceLoading_ = false;
            emit model.sourceListingChanged();
        });
}

void AppModel::reloadTarget() {
    targetGeneration_ = QUuid::createUuid().toString();
    if (targets_.isEmpty()) {
        targetEntries_.setEntries({});
        targetError_.clear();
        targetLoading_ = false;
        emit targetListingChanged();
        return;
    }
    targetLoading_ = true;
    emit targetListingChanged();
    runInBackground(
        this, [folder = primaryTarget()] { return readDirectory(folder, false); },
        [generation = targetGeneration_](AppModel& model, DirectoryListing listing) {
            if (model.targetGeneration_ != generation) {
                return;
            }
            model.targetEntries_.setEntries(std::move(listing.entries));
            model.targetError_ = listing.error.value_or(QString());
            model.targetLoading_ = false;
            emit model.targetListingChanged();
        });
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
    const QString wanted = resolved(folder);
    for (qsizetype i = backup ? 0 : 1; i < targets_.size(); ++i) {
        if (resolved(targets_[i]) == wanted) {
            setMessage(QStringLiteral("That folder is already a destination."));
            return;
        }
    }
    if (platform::startAccessingSecurityScope(pathOf(folder)) && !scopes_.contains(folder)) {
        scopes_.append(folder);
    }
    if (!backup && !targets_.isEmpty()) {
        targets_[0] = folder;
    } else {
        targets_.append(folder);
    }
    emit targetsChanged();
    savePreferences();
    reloadTarget();
}

void AppModel::navigateTarget(const QString& folder) {
    if (targets_.isEmpty()) {
        return;
    }
    const QString wanted = resolved(folder);
    for (qsizetype i = 1; i < targets_.size(); ++i) {
        if (resolved(targets_[i]) == wanted) {
            setMessage(QStringLiteral("That folder is already a backup destination."));
            return;
        }
    }
    targets_[0] = folder;
    emit targetsChanged();
    savePreferences();
    reloadTarget();
}

void AppModel::pickFolder(const QString& title,
                          std::function<void(std::optional<QString>)> completion) {
    if (setup_.folderPicker) {
        setup_.folderPicker->pickFolder(title, std::move(completion));
    }
}

void AppModel::pickSource() {
    pickFolder(QStringLiteral("Choose a camera card, SSD or source folder"),
               [this](std::optional<QString> folder) {
                   if (folder) {
                       chooseSource(*folder);
                   }
               });
}

void AppModel::pickTarget(bool backup) {
    const QString title =
        backup ? QStringLiteral("Choose a backup destination")
               : QStringLiteral("Choose your main destination — local or mounted network folder");
    pickFolder(title, [this, backup](std::optional<QString> folder) {
        if (folder) {
            chooseTarget(backup, *folder);
        }
    });
}

} // namespace quaymark
