// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppModel.h"

#include "app/core/AppDiagnostics.h"
#include "app/core/Background.h"
#include "app/core/PathText.h"
#include "app/platform/Bookmarks.h"
#include "ingest/camera/CameraMetadata.h"
#include "ingest/naming/FolderNaming.h"
#include "ingest/records/Version.h"
#include "ingest/scan/ResolvedPath.h"
#include "ingest/scan/SourceScan.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <utility>

namespace quaymark {

namespace {

const QString notEnrollable = QStringLiteral(
    "Select an external card or SSD with a stable volume ID to enable automatic importing.");

bool enrollable(const std::optional<platform::VolumeInfo>& volume) {
    return volume && volume->uuid && !volume->internal.value_or(false) && volume->local;
}

} // namespace

AppModel::AppModel(Setup setup, QObject* parent)
    : QObject(parent)
    , setup_(std::move(setup))
    , targetChoices_(
          [this](const QString& folder, TargetPlace place) { applyTarget(folder, place); })
    , cameraName_(unknownCamera)
    , memory_(setup_.catalogFile, setup_.system)
    , library_(setup_.catalogFile) {
    queue_ = new ImportQueue([this] { return importSettings(); }, setup_.catalogFile, setup_.system,
                             this);
    if (!setup_.preferences) {
        setup_.preferences = std::make_unique<PreferenceStore>();
    }
    readers_ = new ReaderEnrollment(*setup_.preferences, setup_.system, this);
    connect(readers_, &ReaderEnrollment::refused, this, &AppModel::setMessage);
    lookupWait_.setSingleShot(true);
    lookupWait_.setInterval(5000);
    connect(&lookupWait_, &QTimer::timeout, this, [this] {
        if (std::exchange(startWhenKnown_, false)) {
            queue_->enqueue(source_, false);
        }
    });
    connect(&memory_, &SourceMemory::changed, this, [this] {
        if (startWhenKnown_ && !memory_.pending()) {
            startImport();
        }
    });
    saveTimer_.setSingleShot(true);
    saveTimer_.setInterval(300);
    connect(&saveTimer_, &QTimer::timeout, this, &AppModel::savePreferences);
    previewClock_.start(1000);
    connect(&previewClock_, &QTimer::timeout, this, [this] {
        if (namingPreview() != shownPreview_) {
            emit namingPreviewChanged();
        }
    });
    connect(this, &AppModel::namingPreviewChanged, this,
            [this] { shownPreview_ = namingPreview(); });
    connect(this, &AppModel::sourceChanged, this, &AppModel::canStartChanged);
    connect(this, &AppModel::targetsChanged, this, &AppModel::canStartChanged);
    connect(this, &AppModel::recoveryFoldersChanged, this, &AppModel::refreshRecoveries);
    connect(this, &AppModel::targetsChanged, this, &AppModel::refreshRecoveries);
    AppDiagnostics::log(
        QStringLiteral("Launch version %1; recovery monitoring enabled").arg(version()));
    load();
    refreshRecoveries();
    reloadSource();
    reloadTarget();
    drives_ = new DriveWatcher([this] { return importSettings(); }, setup_.catalogFile, *readers_,
                               *queue_, setup_.system, setup_.probeInterval, this);
    wireParts();
}

QString AppModel::version() {
    return QString::fromLatin1(quaymarkVersion());
}

AppModel::~AppModel() {
    if (saveTimer_.isActive()) {
        savePreferences(); // the last keystrokes
    }
    cameraTask_.request_stop();
    // While the settings they read are still here: the watcher first, then the queue it feeds,
    // whose runs are joined.
    delete std::exchange(drives_, nullptr);
    delete std::exchange(queue_, nullptr);
}

void AppModel::load() {
    loading_ = true;
    PreferenceStore& store = *setup_.preferences;
    preferences_ = store.load();
    library_.setHeading(reportHeading());
    loadDestinations();
    if (store.migrateFolderRule(preferences_.folderRule)) {
        loading_ = false;
        savePreferences();
        loading_ = true;
        store.markMigrated();
    }
    loading_ = false;
    savePreferences();
}

// The stored paths at once; where the bookmarks lead today comes from a worker, since a
// stalled network destination must not hold up the window.
void AppModel::loadDestinations() {
    targets_.clear();
    for (const auto& location : preferences_.destinations) {
        targets_.append(location.path);
        holdScope(location.path);
    }
    runInBackground(
        this,
        [locations = preferences_.destinations, system = setup_.system] {
            QStringList folders;
            for (const auto& location : locations) {
                std::optional<std::filesystem::path> resolved;
                if (location.bookmark) {
                    resolved = platform::resolveBookmark(location.bookmark->toStdString(), system);
                }
                folders.append(resolved ? textOf(*resolved) : location.path);
            }
            return std::pair(locations, folders);
        },
        [](AppModel& model, std::pair<QList<SavedLocation>, QStringList> answer) {
            if (model.preferences_.destinations != answer.first ||
                model.targets_ == answer.second) {
                return; // chosen again meanwhile, or nothing moved
            }
            model.targets_ = answer.second;
            emit model.targetsChanged();
            model.reloadTarget();
        });
}

void AppModel::savePreferences() {
    if (loading_) {
        return;
    }
    saveTimer_.stop();
    setup_.preferences->save(preferences_);
}

void AppModel::saveSoon() {
    if (!loading_ && !saveTimer_.isActive()) {
        saveTimer_.start();
    }
}

void AppModel::bookmarkLater(const QString& folder) {
    runInBackground(
        this,
        [folder, system = setup_.system] {
            return platform::createBookmark(pathOf(folder), system);
        },
        [folder](AppModel& model, std::optional<std::string> bookmark) {
            if (!bookmark) {
                return; // kept by its path alone
            }
            for (auto& location : model.preferences_.destinations) {
                if (location.path == folder && !location.bookmark) {
                    location.bookmark = QByteArray::fromStdString(*bookmark);
                }
            }
            model.savePreferences();
        });
}

void AppModel::rememberRecovery(const QString& folder) {
    if (preferences_.recoveryFolders.contains(folder)) {
        return;
    }
    preferences_.recoveryFolders.append(folder);
    setup_.preferences->saveRecoveryFolders(preferences_.recoveryFolders);
    emit recoveryFoldersChanged();
}

void AppModel::refreshRecoveries() {
    recoveries_.refresh(preferences_.recoveryFolders, queue_->runningFolders(), targets_);
}

void AppModel::forgetRecovery(const QString& folder) {
    const bool removed = preferences_.recoveryFolders.removeAll(folder) > 0;
    setup_.preferences->saveRecoveryFolders(preferences_.recoveryFolders);
    if (removed) {
        emit recoveryFoldersChanged();
    }
}

void AppModel::setAutoEnabled(bool enabled) {
    if (preferences_.autoEnabled != enabled) {
        preferences_.autoEnabled = enabled;
        savePreferences();
        emit autoEnabledChanged();
    }
}

QVariantMap AppModel::enrolled() const {
    return toVariantMap(preferences_.enrolled);
}

void AppModel::setEnrolled(const QVariantMap& enrolled) {
    preferences_.enrolled = toTextMap(enrolled);
    savePreferences();
    emit enrolledChanged();
    emit cameraChanged();
}

QVariantList AppModel::enrolledDrives() const {
    QVariantList drives;
    // QMap keeps its keys in ascending text order.
    for (auto it = preferences_.enrolled.cbegin(); it != preferences_.enrolled.cend(); ++it) {
        drives.append(
            QVariantMap{{QStringLiteral("id"), it.key()},
                        {QStringLiteral("title"), it.value().isEmpty() ? it.key() : it.value()}});
    }
    return drives;
}

void AppModel::unenroll(const QString& id) {
    if (preferences_.enrolled.remove(id) > 0) {
        savePreferences();
        emit enrolledChanged();
        emit cameraChanged();
    }
}

void AppModel::setFolderRule(const QString& rule) {
    if (preferences_.folderRule != rule) {
        preferences_.folderRule = rule;
        saveSoon();
        emit folderRuleChanged();
        emit namingPreviewChanged();
    }
}

void AppModel::setParallelFiles(int count) {
    count = std::clamp(count, 1, 4);
    if (preferences_.parallelFiles != count) {
        preferences_.parallelFiles = count;
        savePreferences();
        emit parallelFilesChanged();
    }
}

void AppModel::setVideosOnly(bool videosOnly) {
    if (preferences_.videosOnly != videosOnly) {
        preferences_.videosOnly = videosOnly;
        memory_.lookUp(source_, videosOnly);
        savePreferences();
        emit videosOnlyChanged();
        reloadSource();
    }
}

void AppModel::setWriteMhl(bool writeMhl) {
    if (preferences_.writeMhl != writeMhl) {
        preferences_.writeMhl = writeMhl;
        savePreferences();
        emit writeMhlChanged();
    }
}

QVariantMap AppModel::cameraOverrides() const {
    return toVariantMap(preferences_.cameraOverrides);
}

void AppModel::setCameraOverrides(const QVariantMap& overrides) {
    preferences_.cameraOverrides = toTextMap(overrides);
    savePreferences();
    emit cameraOverridesChanged();
    emit cameraChanged();
    emit namingPreviewChanged();
}

void AppModel::setShowSettings(bool show) {
    if (showSettings_ != show) {
        showSettings_ = show;
        emit showSettingsChanged();
    }
}

void AppModel::setMessage(const QString& message) {
    if (message_ != message) {
        message_ = message;
        emit messageChanged();
    }
}

QString AppModel::cameraKey() const {
    if (source_.isEmpty() || !sourceVolume_) {
        return {};
    }
    return sourceVolume_->isEmpty() ? source_ : *sourceVolume_;
}

QString AppModel::cameraOverride() const {
    const QString key = cameraKey();
    return key.isEmpty() ? QString() : preferences_.cameraOverrides.value(key);
}

void AppModel::setCameraOverride(const QString& name) {
    const QString key = cameraKey();
    if (key.isEmpty()) {
        return;
    }
    if (name.isEmpty()) {
        preferences_.cameraOverrides.remove(key);
    } else {
        preferences_.cameraOverrides.insert(key, name); // as typed, untrimmed
    }
    saveSoon();
    emit cameraOverridesChanged();
    emit cameraChanged();
    emit namingPreviewChanged();
}

QString AppModel::effectiveCamera() const {
    const QString override = cameraOverride();
    return override.isEmpty() ? cameraName_ : override;
}

bool AppModel::enrolledSource() const {
    return sourceVolume_ && !sourceVolume_->isEmpty() &&
           preferences_.enrolled.contains(*sourceVolume_);
}

QString AppModel::namingPreview() const {
    const QString sourceName =
        source_.isEmpty() ? QStringLiteral("CAMERA_CARD") : QDir(source_).dirName();
    try {
        const auto pieces = FolderNaming::components(preferences_.folderRule.toStdString(),
                                                     sourceName.toStdString(), Clock::now(),
                                                     effectiveCamera().toStdString());
        QStringList names;
        for (const auto& piece : pieces) {
            names.append(QString::fromStdString(piece));
        }
        return names.join(QLatin1Char('/'));
    } catch (const std::exception&) {
        return QStringLiteral("Invalid folder rule");
    }
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

void AppModel::holdScope(const QString& folder) {
    if (!scopes_.contains(folder) && platform::startAccessingSecurityScope(pathOf(folder))) {
        scopes_.append(folder);
    }
}

void AppModel::reloadSource() {
    sourceBrowser_.reload(source_, preferences_.videosOnly);
}

void AppModel::reloadTarget() {
    targetBrowser_.reload(primaryTarget(), false);
}

void AppModel::setSource(const QString& folder) {
    startWhenKnown_ = false; // a start waiting for the earlier source's answer is dropped
    lookupWait_.stop();
    holdScope(folder);
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
    memory_.lookUp(folder, preferences_.videosOnly);
}

void AppModel::startImport() {
    if (source_.isEmpty()) {
        return;
    }
    // Until the catalog has answered, a card imported before would be imported again without
    // the question: the start waits for the answer, but not for a look-up that hangs.
    if (memory_.pending()) {
        startWhenKnown_ = true;
        lookupWait_.start();
        return;
    }
    startWhenKnown_ = false;
    lookupWait_.stop();
    if (memory_.kind() == QLatin1String("alreadyImported")) {
        confirmation_ = memory_.notice();
        emit confirmationChanged();
        return;
    }
    queue_->enqueue(source_, false);
}

void AppModel::answerConfirmation(bool importAgain) {
    if (confirmation_.isEmpty()) {
        return;
    }
    confirmation_.clear();
    emit confirmationChanged();
    if (importAgain) {
        queue_->enqueue(source_, false);
    }
}

void AppModel::importNewFiles() {
    if (!source_.isEmpty() && !memory_.newFiles().empty()) {
        queue_->enqueueFiles(source_, false, memory_.newFiles());
    }
}

void AppModel::setWriteReport(bool writeReport) {
    if (preferences_.writeReport != writeReport) {
        preferences_.writeReport = writeReport;
        savePreferences();
        emit writeReportChanged();
    }
}

report::ReportHeading AppModel::reportHeading() const {
    return reportHeadingOf(preferences_);
}

void AppModel::setHeading(QString& field, const QString& text) {
    if (field != text) {
        field = text;
        library_.setHeading(reportHeading());
        savePreferences();
        emit reportHeadingChanged();
    }
}

void AppModel::setRequiredCopies(int copies) {
    copies = std::clamp(copies, 1, 5);
    if (preferences_.requiredCopies != copies) {
        preferences_.requiredCopies = copies;
        savePreferences();
        emit requiredCopiesChanged();
    }
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
    targetChoices_.choose(folder, backup ? TargetPlace::backup : TargetPlace::main, targets_);
}

void AppModel::navigateTarget(const QString& folder) {
    targetChoices_.choose(folder, TargetPlace::browsed, targets_);
}

void AppModel::applyTarget(const QString& folder, TargetPlace place) {
    if (place == TargetPlace::browsed && targets_.isEmpty()) {
        return;
    }
    const auto form = [this](const QString& each) { return targetChoices_.formOf(each); };
    const QString wanted = form(folder);
    for (qsizetype i = place == TargetPlace::backup ? 0 : 1; i < targets_.size(); ++i) {
        if (form(targets_[i]) == wanted) {
            setMessage(place == TargetPlace::browsed
                           ? QStringLiteral("That folder is already a backup destination.")
                           : QStringLiteral("That folder is already a destination."));
            return;
        }
    }
    if (place != TargetPlace::browsed) {
        holdScope(folder);
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

void AppModel::pickFolder(const QString& title, const QString& start,
                          std::function<void(std::optional<QString>)> completion) {
    if (setup_.folderPicker) {
        setup_.folderPicker->pickFolder(title, QStringLiteral("Choose folder"), start,
                                        std::move(completion));
    }
}

void AppModel::pickSource() {
    // The dialog may answer after the model is gone.
    pickFolder(QStringLiteral("Choose a camera card, SSD or source folder"), source_,
               [model = QPointer<AppModel>(this)](std::optional<QString> folder) {
                   if (model && folder) {
                       model->chooseSource(*folder);
                   }
               });
}

void AppModel::pickScanFolder() {
    pickFolder(QStringLiteral("Choose a drive or folder to scan for imports"), primaryTarget(),
               [model = QPointer<AppModel>(this)](std::optional<QString> folder) {
                   if (model && folder) {
                       model->library()->scan(*folder);
                   }
               });
}

void AppModel::pickTarget(bool backup) {
    const QString title =
        backup ? QStringLiteral("Choose a backup destination")
               : QStringLiteral("Choose your main destination — local or mounted network folder");
    const QString start = backup ? targets_.value(1, primaryTarget()) : primaryTarget();
    pickFolder(title, start,
               [model = QPointer<AppModel>(this), backup](std::optional<QString> folder) {
                   if (model && folder) {
                       model->chooseTarget(backup, *folder);
                   }
               });
}

} // namespace quaymark
