// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ImportBatch.h"
#include "ImportSettings.h"
#include "app/core/Background.h"
#include "app/platform/Volumes.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QtQmlIntegration/qqmlintegration.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quaymark {

namespace ImportEngine {
class SharedReads;
}

namespace platform {
class SleepInhibitor;
}

// The queue of import batches, newest first. Checks and queues a source to every saved
// destination, runs the oldest queued batch with one engine run per destination, retries a
// destination and recovers an interrupted import. Reads the settings through the reader it is
// given and tells what happened through its signals; lives on the main thread, engine runs on
// threads of their own.
class ImportQueue : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The queue comes from the import model.")
    Q_PROPERTY(QList<quaymark::ImportBatch*> batches READ batches NOTIFY batchesChanged)
    Q_PROPERTY(bool processing READ processing NOTIFY processingChanged)

public:
    ImportQueue(ImportSettingsReader settings, std::filesystem::path catalogFile,
                platform::SystemPaths system, QObject* parent);
    // Cancels and joins the runs still going: no run outlives the queue.
    ~ImportQueue() override;

    QList<ImportBatch*> batches() const { return batches_; }
    bool processing() const { return processing_; }
    // Checks and queues one batch of `source` to every destination; refusals set the model's
    // message.
    Q_INVOKABLE void enqueue(const QString& source, bool automatic = false);
    // The same for these card paths of `source` only, such as the clips added since its last
    // import.
    void enqueueFiles(const QString& source, bool automatic,
                      std::optional<std::vector<std::string>> onlyFiles);
    // A new one-destination batch that resumes the job's import folder where it has one.
    Q_INVOKABLE void retry(quaymark::DestinationJob* job, quaymark::ImportBatch* batch);
    Q_INVOKABLE void clearFinished();
    // Queues an interrupted import folder again, with its journal's source and options.
    Q_INVOKABLE void recover(const QString& folder);
    // The import folders of jobs that have not ended, queued ones included. They change with
    // `batchesChanged` and `runningFoldersChanged`.
    QStringList runningFolders() const;
    // Why `source` cannot be imported to `targets` because one lies inside the other; empty
    // when it can.
    static QString overlapProblem(const QString& source, const QStringList& targets);

signals:
    void batchesChanged();
    void runningFoldersChanged();
    void processingChanged();
    // An automatic import was refused with this message; nobody may be watching the window.
    void automaticImportRefused(const QString& message);
    // A refusal or an outcome the window shows.
    void notice(const QString& text);
    // A run made its import folder, which may need recovery until it is verified.
    void importFolderStarted(const QString& folder);
    // An import folder holds a verified import and needs no recovery.
    void importFolderVerified(const QString& folder);
    // Every destination of a batch from `source` has ended.
    void batchEnded(const QString& source);

private:
    // Why `wanted` (standardised) cannot be queued now, if it cannot.
    std::optional<QString> refusal(const QString& wanted, const ImportSettings& settings) const;
    // Builds and queues a checked batch to these destination folders.
    void queueBatch(const QString& source, bool automatic, const QStringList& targets,
                    std::optional<std::vector<std::string>> onlyFiles);
    void refuseUnavailable(const QString& destination, bool automatic);
    // The rest of recover() once the journal has been read: `read` is empty when it failed.
    void recoverRead(const QString& folder, const std::optional<SessionRecord>& read,
                     const QString& error, bool verified);
    void startQueue();
    void processQueue();
    void fixCameraName(ImportBatch* batch);
    void startJobs(ImportBatch* batch);
    // `sharedReads` is shared by the jobs of one batch that start together.
    void runEngine(ImportBatch* batch, DestinationJob* job,
                   std::shared_ptr<ImportEngine::SharedReads> sharedReads);
    void jobEnded(ImportBatch* batch, DestinationJob* job);
    // Looks up on a worker whether the ended batch's card may be formatted now.
    // The ended batch's card state, then, when asked, its report.
    void showCardState(ImportBatch* batch, bool thenReport);
    // Writes the ended batch's report with its card's state, when it has a verified folder.
    void reportOf(ImportBatch* batch, const QString& cardState);

    ImportSettingsReader settings_;
    std::filesystem::path catalogFile_;
    platform::SystemPaths system_;
    QList<ImportBatch*> batches_; // newest first, children of the queue
    bool processing_ = false;
    // Sources whose destinations are being checked on a worker before they are queued.
    QSet<QString> pendingSources_;
    // Keeps the machine awake while a batch runs.
    std::unique_ptr<platform::SleepInhibitor> inhibitor_;
    // One thread per running destination job; stopping one cancels its run. Last, so that the
    // runs are stopped and joined before anything they report to goes.
    OwnedThreads engineRuns_;
};

} // namespace quaymark
