// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DriveWatcher.h"
#include "FolderBrowser.h"
#include "ImportBatch.h"
#include "ImportQueue.h"
#include "LibraryModel.h"
#include "PreferenceStore.h"
#include "ReaderEnrollment.h"
#include "RecoveryOffers.h"
#include "SourceMemory.h"
#include "TargetChoices.h"
#include "app/core/FolderPicker.h"
#include "app/platform/Volumes.h"
#include "ingest/records/ImportRecords.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <QtQmlIntegration/qqmlintegration.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace quaymark {

// The import model the whole window observes: saved settings, the source and destination
// listings and the camera name of the source. Lives on the main thread; blocking work runs on
// pool threads and comes back queued.
class AppModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The model comes from the application.")
    Q_PROPERTY(QStringList targets READ targets NOTIFY targetsChanged)
    Q_PROPERTY(QString primaryTarget READ primaryTarget NOTIFY targetsChanged)
    Q_PROPERTY(bool autoEnabled READ autoEnabled WRITE setAutoEnabled NOTIFY autoEnabledChanged)
    Q_PROPERTY(QVariantMap enrolled READ enrolled WRITE setEnrolled NOTIFY enrolledChanged)
    // The enrolled drives in identifier order: maps with "id" and "title" (the stored name, or
    // the identifier when none is stored).
    Q_PROPERTY(QVariantList enrolledDrives READ enrolledDrives NOTIFY enrolledChanged)
    Q_PROPERTY(QString folderRule READ folderRule WRITE setFolderRule NOTIFY folderRuleChanged)
    Q_PROPERTY(
        int parallelFiles READ parallelFiles WRITE setParallelFiles NOTIFY parallelFilesChanged)
    Q_PROPERTY(bool videosOnly READ videosOnly WRITE setVideosOnly NOTIFY videosOnlyChanged)
    Q_PROPERTY(bool writeMhl READ writeMhl WRITE setWriteMhl NOTIFY writeMhlChanged)
    Q_PROPERTY(bool writeReport READ writeReport WRITE setWriteReport NOTIFY writeReportChanged)
    // The handover report's heading.
    Q_PROPERTY(QString production READ production WRITE setProduction NOTIFY reportHeadingChanged)
    Q_PROPERTY(
        QString shootingDay READ shootingDay WRITE setShootingDay NOTIFY reportHeadingChanged)
    Q_PROPERTY(QString reportOperator READ reportOperator WRITE setReportOperator NOTIFY
                   reportHeadingChanged)
    Q_PROPERTY(QVariantMap cameraOverrides READ cameraOverrides WRITE setCameraOverrides NOTIFY
                   cameraOverridesChanged)
    Q_PROPERTY(QStringList recoveryFolders READ recoveryFolders NOTIFY recoveryFoldersChanged)
    Q_PROPERTY(QString cameraName READ cameraName NOTIFY cameraNameChanged)
    Q_PROPERTY(bool showSettings READ showSettings WRITE setShowSettings NOTIFY showSettingsChanged)
    Q_PROPERTY(QString message READ message WRITE setMessage NOTIFY messageChanged)
    Q_PROPERTY(QString cameraKey READ cameraKey NOTIFY cameraChanged)
    Q_PROPERTY(
        QString cameraOverride READ cameraOverride WRITE setCameraOverride NOTIFY cameraChanged)
    Q_PROPERTY(QString effectiveCamera READ effectiveCamera NOTIFY cameraChanged)
    Q_PROPERTY(bool enrolledSource READ enrolledSource NOTIFY cameraChanged)
    Q_PROPERTY(QString namingPreview READ namingPreview NOTIFY namingPreviewChanged)
    Q_PROPERTY(QString source READ source NOTIFY sourceChanged)
    // The listings of the source and of the main destination.
    Q_PROPERTY(quaymark::FolderBrowser* sourceBrowser READ sourceBrowser CONSTANT)
    Q_PROPERTY(quaymark::FolderBrowser* targetBrowser READ targetBrowser CONSTANT)
    Q_PROPERTY(quaymark::ImportQueue* queue READ queue CONSTANT)
    Q_PROPERTY(bool canStart READ canStart NOTIFY canStartChanged)
    // Why these folders cannot be imported as chosen; empty when they can.
    Q_PROPERTY(QString startProblem READ startProblem NOTIFY canStartChanged)
    Q_PROPERTY(quaymark::DriveWatcher* drives READ drives CONSTANT)
    Q_PROPERTY(QString version READ version CONSTANT)
    Q_PROPERTY(quaymark::RecoveryOffers* recoveries READ recoveries CONSTANT)
    // What the catalog remembers of the source.
    Q_PROPERTY(quaymark::SourceMemory* memory READ memory CONSTANT)
    Q_PROPERTY(quaymark::ReaderEnrollment* readers READ readers CONSTANT)
    // Where the copies are: the catalog searched.
    Q_PROPERTY(quaymark::LibraryModel* library READ library CONSTANT)
    // A question to answer before the import starts ("Already imported on ..."); empty when
    // none is asked.
    Q_PROPERTY(QString confirmation READ confirmation NOTIFY confirmationChanged)
    // Verified copies on distinct drives a card needs before it is safe to format: 1 to 5.
    Q_PROPERTY(
        int requiredCopies READ requiredCopies WRITE setRequiredCopies NOTIFY requiredCopiesChanged)

public:
    struct Setup {
        // The user's store unless given.
        std::unique_ptr<PreferenceStore> preferences;
        FolderPicker* folderPicker = nullptr;
        platform::SystemPaths system;
        // Between the readability probes of a newly mounted drive.
        std::chrono::milliseconds probeInterval{1000};
        // The catalog of imports; the one in the data folder when empty.
        std::filesystem::path catalogFile;
    };

    explicit AppModel(Setup setup, QObject* parent = nullptr);
    ~AppModel() override;

    QStringList targets() const { return targets_; }
    QString primaryTarget() const { return targets_.value(0); }
    bool autoEnabled() const { return preferences_.autoEnabled; }
    void setAutoEnabled(bool enabled);
    QVariantMap enrolled() const;
    void setEnrolled(const QVariantMap& enrolled);
    QVariantList enrolledDrives() const;
    Q_INVOKABLE void unenroll(const QString& id);
    QString folderRule() const { return preferences_.folderRule; }
    void setFolderRule(const QString& rule);
    int parallelFiles() const { return preferences_.parallelFiles; }
    void setParallelFiles(int count);
    bool videosOnly() const { return preferences_.videosOnly; }
    void setVideosOnly(bool videosOnly);
    bool writeMhl() const { return preferences_.writeMhl; }
    void setWriteMhl(bool writeMhl);
    bool writeReport() const { return preferences_.writeReport; }
    void setWriteReport(bool writeReport);
    QString production() const { return preferences_.production; }
    void setProduction(const QString& text) { setHeading(preferences_.production, text); }
    QString shootingDay() const { return preferences_.shootingDay; }
    void setShootingDay(const QString& text) { setHeading(preferences_.shootingDay, text); }
    QString reportOperator() const { return preferences_.reportOperator; }
    void setReportOperator(const QString& text) { setHeading(preferences_.reportOperator, text); }
    QVariantMap cameraOverrides() const;
    void setCameraOverrides(const QVariantMap& overrides);
    QStringList recoveryFolders() const { return preferences_.recoveryFolders; }
    QString cameraName() const { return cameraName_; }
    bool showSettings() const { return showSettings_; }
    void setShowSettings(bool show);
    QString message() const { return message_; }
    void setMessage(const QString& message);

    QString cameraKey() const;
    QString cameraOverride() const;
    void setCameraOverride(const QString& name);
    QString effectiveCamera() const;
    bool enrolledSource() const;
    QString namingPreview() const;

    QString source() const { return source_; }
    FolderBrowser* sourceBrowser() { return &sourceBrowser_; }
    FolderBrowser* targetBrowser() { return &targetBrowser_; }

    ImportQueue* queue() const { return queue_; }
    bool canStart() const {
        return !source_.isEmpty() && !targets_.isEmpty() && startProblem().isEmpty();
    }
    QString startProblem() const { return ImportQueue::overlapProblem(source_, targets_); }
    // The settings as they are now, for the queue's checks and new batches.
    const StoredPreferences& preferences() const { return preferences_; }

    DriveWatcher* drives() const { return drives_; }
    static QString version();
    RecoveryOffers* recoveries() { return &recoveries_; }
    SourceMemory* memory() { return &memory_; }
    ReaderEnrollment* readers() const { return readers_; }
    LibraryModel* library() { return &library_; }
    const std::filesystem::path& catalogFile() const { return setup_.catalogFile; }
    int requiredCopies() const { return preferences_.requiredCopies; }
    void setRequiredCopies(int copies);
    // Queues only the files the card gained since its last import.
    Q_INVOKABLE void importNewFiles();
    // Queues the source to every destination; for a card the catalog says is imported, asks
    // first.
    Q_INVOKABLE void startImport();
    QString confirmation() const { return confirmation_; }
    Q_INVOKABLE void answerConfirmation(bool importAgain);
    // Probes the remembered folders again; also when the list is opened.
    Q_INVOKABLE void refreshRecoveries();
    // Enrolls the source's drive for automatic import, or un-enrolls it.
    Q_INVOKABLE void enrollSource();

    // Writes the stored values as they are; bookmarks are made only when a folder is chosen.
    void savePreferences();
    void setHeading(QString& field, const QString& text);
    report::ReportHeading reportHeading() const;
    void rememberRecovery(const QString& folder);
    void forgetRecovery(const QString& folder);
    // What the queue and the drive watcher read of the window's state.
    ImportSettings importSettings() const;
    // The folder dialog, then the queue recovers the folder it answers with.
    Q_INVOKABLE void pickRecovery();

    Q_INVOKABLE void reloadSource();
    Q_INVOKABLE void reloadTarget();
    Q_INVOKABLE void setSource(const QString& folder);
    Q_INVOKABLE void chooseSource(const QString& folder);
    Q_INVOKABLE void chooseTarget(bool backup, const QString& folder);
    Q_INVOKABLE void navigateTarget(const QString& folder);
    // Drops a destination from future imports; the next one becomes the main copy.
    Q_INVOKABLE void removeTarget(int index);
    // The folder dialog, then chooseSource or chooseTarget with its answer.
    Q_INVOKABLE void pickSource();
    // The folder dialog, then the library's scan of the folder chosen.
    Q_INVOKABLE void pickScanFolder();
    Q_INVOKABLE void pickTarget(bool backup);
    void pickFolder(const QString& title, const QString& start,
                    std::function<void(std::optional<QString>)> completion);

signals:
    void targetsChanged();
    void autoEnabledChanged();
    void enrolledChanged();
    void folderRuleChanged();
    void parallelFilesChanged();
    void videosOnlyChanged();
    void writeMhlChanged();
    void writeReportChanged();
    void reportHeadingChanged();
    void cameraOverridesChanged();
    void recoveryFoldersChanged();
    void cameraNameChanged();
    void showSettingsChanged();
    void messageChanged();
    void cameraChanged();
    void namingPreviewChanged();
    void sourceChanged();
    void canStartChanged();
    void requiredCopiesChanged();
    void confirmationChanged();

private:
    // Connects the parts under the model: each tells what happened through its signals.
    void wireParts();
    void load();
    void loadDestinations();
    // Saves once the typing pauses: text fields change at every keystroke.
    void saveSoon();
    // Keeps access to a chosen folder for the rest of the run, once per folder.
    void holdScope(const QString& folder);
    // Makes the bookmark of a chosen destination on a worker and stores it with that entry.
    void bookmarkLater(const QString& folder);
    using TargetPlace = TargetChoices::Place;
    // A chosen destination folder, once the choices made before it have been applied.
    void applyTarget(const QString& folder, TargetPlace place);
    void startCameraDetection(const QString& folder);

    Setup setup_;
    bool loading_ = true;
    StoredPreferences preferences_;
    // Where each stored destination is today, in the same order as preferences_.destinations.
    QStringList targets_;
    QTimer saveTimer_;
    // The preview names the folder an import started now would get: it follows the clock.
    QTimer previewClock_;
    QString shownPreview_;
    QStringList scopes_;
    TargetChoices targetChoices_;
    QString cameraName_;
    bool showSettings_ = false;
    QString message_;
    QString confirmation_;
    // Start was pressed while the catalog had not answered for the source yet.
    bool startWhenKnown_ = false;
    QTimer lookupWait_;

    QString source_;
    // The source's volume UUID once read: absent while unknown, empty when it has none.
    std::optional<QString> sourceVolume_;
    FolderBrowser sourceBrowser_;
    FolderBrowser targetBrowser_;
    std::stop_source cameraTask_;
    RecoveryOffers recoveries_;
    SourceMemory memory_;
    LibraryModel library_;

    // A child of the model: it goes after the model's own members, runs joined.
    ImportQueue* queue_ = nullptr;

    DriveWatcher* drives_ = nullptr;      // a child of the model, like the queue
    ReaderEnrollment* readers_ = nullptr; // a child of the model
};

} // namespace quaymark
