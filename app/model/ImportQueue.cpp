// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportQueue.h"

#include "CatalogWork.h"
#include "app/core/AppDiagnostics.h"
#include "app/core/Background.h"
#include "app/core/PathText.h"
#include "app/platform/Bookmarks.h"
#include "app/platform/DriveIdentity.h"
#include "app/platform/qt/SleepInhibitor.h"
#include "ingest/camera/CameraMetadata.h"
#include "ingest/copy/SessionDocuments.h"
#include "ingest/copy/SharedReads.h"
#include "ingest/engine/ImportRun.h"
#include "ingest/naming/FolderNaming.h"
#include "ingest/scan/ResolvedPath.h"
#include "ingest/scan/SourceScan.h"
#include "report/ImportReport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quaymark {

namespace {

QString standardised(const QString& folder) {
    return QDir::cleanPath(QDir(folder).absolutePath());
}

struct EngineOutcome {
    std::optional<ImportResult> result;
    QString error;
    bool cancelled = false;
    // Why the verified import is not in the catalog.
    std::optional<QString> catalogProblem;
};

// What follows a verified run on its own thread, after the receipt is durable: the catalog.
// It cannot fail the import; a problem is a warning.
void afterVerified(EngineOutcome& outcome, const std::filesystem::path& catalogFile,
                   const platform::SystemPaths& system, const std::filesystem::path& source,
                   const std::filesystem::path& target, bool videosOnly) {
    outcome.catalogProblem = CatalogWork::recordImport(
        catalogFile, source, outcome.result->destination, target, videosOnly, system);
    if (outcome.catalogProblem) {
        outcome.result->warnings.push_back(outcome.catalogProblem->toStdString());
    }
}

// What the report of an ended batch is made from, gathered on the main thread.
struct BatchReportWork {
    std::vector<report::BatchFolder> folders;
    report::ReportContext context;
    std::filesystem::path source;
};

struct BatchReportOutcome {
    QString file;
    QString problem;
};

// On its own thread once the ended batch's card state is known: the report of every verified
// folder. A report that cannot be made is said on the batch.
BatchReportOutcome writeBatchReport(BatchReportWork work, const platform::SystemPaths& system,
                                    const CancellationFlag& cancellation) {
    BatchReportOutcome outcome;
    const auto card = platform::cardIdentity(work.source, {}, system);
    work.context.source = report::ReportSource{
        work.source.string(), card.label.value_or(""), card.volumeUuid.value_or(""),
        platform::driveDescription(work.source, system), card.capacity};
    try {
        const auto problems = report::writeBatchReport(work.folders, work.context, cancellation);
        for (const auto& written : work.folders) {
            std::error_code error;
            const auto pdf = written.folder / ImportDocuments::reportPdf;
            if (outcome.file.isEmpty() && std::filesystem::exists(pdf, error)) {
                outcome.file = textOf(pdf);
            }
        }
        if (!problems.empty()) {
            outcome.problem =
                u"The handover report was not written: " + QString::fromStdString(problems.front());
        }
    } catch (const QuayError&) {
        outcome.problem = QStringLiteral("The handover report was cancelled.");
    }
    return outcome;
}

} // namespace

ImportQueue::ImportQueue(ImportSettingsReader settings, std::filesystem::path catalogFile,
                         platform::SystemPaths system, QObject* parent)
    : QObject(parent)
    , settings_(std::move(settings))
    , catalogFile_(std::move(catalogFile))
    , system_(std::move(system)) {}

QString ImportQueue::overlapProblem(const QString& chosen, const QStringList& targets) {
    // Compared as written: resolving links could stall on a sleeping drive. The engine checks
    // the resolved folders again before it writes anything.
    if (chosen.isEmpty()) {
        return {};
    }
    const auto source = pathOf(QDir::cleanPath(chosen));
    for (const QString& target : targets) {
        const auto destination = pathOf(QDir::cleanPath(target));
        if (destination == source || ImportEngine::isInside(destination, source)) {
            return u"The destination “" + QDir(target).dirName() +
                   u"” lies inside the source. Choose a destination on another drive or folder.";
        }
        if (ImportEngine::isInside(source, destination)) {
            return u"The source lies inside the destination “" + QDir(target).dirName() +
                   u"”. Choose the card or folder itself as the source.";
        }
    }
    return {};
}

// The runs are stopped and joined by their OwnedThreads; a cancelled run leaves its journal
// "interrupted", so the import resumes next time.
ImportQueue::~ImportQueue() = default;

std::optional<QString> ImportQueue::refusal(const QString& wanted,
                                            const ImportSettings& settings) const {
    try {
        FolderNaming::components(settings.preferences.folderRule.toStdString(),
                                 QFileInfo(wanted).fileName().toStdString(), Clock::now(),
                                 settings.camera.toStdString());
    } catch (const std::exception& error) {
        return QString::fromStdString(error.what());
    }
    if (settings.targets.isEmpty()) {
        return QStringLiteral("Choose at least one destination first.");
    }
    if (const QString overlap = overlapProblem(wanted, settings.targets); !overlap.isEmpty()) {
        return overlap;
    }
    const bool queued =
        std::any_of(batches_.begin(), batches_.end(), [&](const ImportBatch* batch) {
            return batch->active() && standardised(batch->source()) == wanted;
        });
    if (queued || pendingSources_.contains(wanted)) {
        return QStringLiteral("This source is already in the import queue.");
    }
    return std::nullopt;
}

void ImportQueue::enqueue(const QString& source, bool automatic) {
    enqueueFiles(source, automatic, std::nullopt);
}

void ImportQueue::enqueueFiles(const QString& source, bool automatic,
                               std::optional<std::vector<std::string>> onlyFiles) {
    const QString wanted = standardised(source);
    const ImportSettings settings = settings_();
    if (const auto refused = refusal(wanted, settings)) {
        emit notice(*refused);
        return;
    }
    const bool onVolumes = std::any_of(
        settings.preferences.destinations.cbegin(), settings.preferences.destinations.cend(),
        [](const SavedLocation& location) {
            return location.bookmark && platform::namesVolume(location.bookmark->toStdString());
        });
    if (!onVolumes) {
        queueBatch(source, automatic, settings.targets, std::move(onlyFiles));
        return;
    }
    // A drive mounted at a fixed folder leaves that folder behind, empty, on the system disk
    // when it is unplugged: each destination must be found on its own volume, which is looked
    // up on a worker.
    pendingSources_.insert(wanted);
    runInBackground(
        this,
        [locations = settings.preferences.destinations, shown = settings.targets,
         system = system_] {
            QStringList folders;
            for (qsizetype i = 0; i < locations.size(); ++i) {
                const SavedLocation& location = locations[i];
                const std::string bookmark =
                    location.bookmark ? location.bookmark->toStdString() : std::string();
                if (!platform::namesVolume(bookmark)) {
                    folders.append(shown.value(i, location.path));
                } else if (const auto resolved = platform::resolveBookmark(bookmark, system)) {
                    folders.append(textOf(*resolved));
                } else {
                    return std::pair(std::optional(shown.value(i, location.path)), folders);
                }
            }
            return std::pair(std::optional<QString>(), folders);
        },
        [source, automatic, wanted, onlyFiles = std::move(onlyFiles)](
            ImportQueue& queue, std::pair<std::optional<QString>, QStringList> answer) {
            queue.pendingSources_.remove(wanted);
            if (answer.first) {
                queue.refuseUnavailable(*answer.first, automatic);
            } else {
                queue.queueBatch(source, automatic, answer.second, onlyFiles);
            }
        });
}

void ImportQueue::refuseUnavailable(const QString& destination, bool automatic) {
    const QString message = u"“" + QFileInfo(QDir::cleanPath(destination)).fileName() +
                            u"” is not connected. Connect it, or remove it from the copy "
                            u"destinations.";
    AppDiagnostics::log(u"Import refused: destination not connected " + destination);
    emit notice(message);
    if (automatic) {
        emit automaticImportRefused(message);
    }
}

void ImportQueue::queueBatch(const QString& source, bool automatic, const QStringList& targets,
                             std::optional<std::vector<std::string>> onlyFiles) {
    const ImportSettings settings = settings_();
    ImportOptions options{settings.preferences.folderRule.toStdString(),
                          std::clamp(settings.preferences.parallelFiles, 1, 4),
                          settings.preferences.videosOnly,
                          settings.camera.toStdString(),
                          settings.preferences.writeMhl,
                          std::move(onlyFiles)};
    auto* batch = new ImportBatch(source, automatic, std::move(options), this);
    for (const QString& target : targets) {
        batch->addJob(new DestinationJob(target, std::nullopt));
    }
    batches_.prepend(batch);
    emit batchesChanged();
    startQueue();
}

void ImportQueue::retry(DestinationJob* job, ImportBatch* batch) {
    if (!job || !batch) {
        return;
    }
    const QString folder = job->importFolder();
    auto* again = new ImportBatch(batch->source(), false, batch->options(), this);
    again->addJob(new DestinationJob(
        job->target(), folder.isEmpty() ? std::nullopt : std::optional<QString>(folder)));
    batches_.prepend(again);
    emit batchesChanged();
    startQueue();
}

QStringList ImportQueue::runningFolders() const {
    QStringList folders;
    for (const ImportBatch* batch : batches_) {
        for (const DestinationJob* job : batch->jobs()) {
            if (!job->finished() && !job->importFolder().isEmpty()) {
                folders.append(QDir::cleanPath(job->importFolder()));
            }
        }
    }
    return folders;
}

// The journal is read and checked on a worker: the folder may be on a stalled network share.
void ImportQueue::recover(const QString& folder) {
    if (runningFolders().contains(QDir::cleanPath(folder))) {
        emit notice(QStringLiteral("This import is running now."));
        return;
    }
    struct Reading {
        std::optional<SessionRecord> journal;
        QString error;
        bool verified = false;
    };
    runInBackground(
        this,
        [folder] {
            Reading reading;
            try {
                reading.journal = ImportEngine::readSession(pathOf(folder));
                reading.verified =
                    QFile::exists(folder + u'/' + QString::fromLatin1(ImportDocuments::receipt));
            } catch (const QuayError& error) {
                reading.error = QString::fromStdString(error.what());
            }
            return reading;
        },
        [folder](ImportQueue& queue, Reading reading) {
            queue.recoverRead(folder, reading.journal, reading.error, reading.verified);
        });
}

void ImportQueue::recoverRead(const QString& folder, const std::optional<SessionRecord>& read,
                              const QString& error, bool verified) {
    if (!read) {
        emit notice(u"Cannot recover this import: " + error +
                    u". Version 1.0 imports have no recovery journal; start a fresh import "
                    u"without deleting your source.");
        return;
    }
    if (verified) {
        emit importFolderVerified(folder);
        emit notice(QStringLiteral("This import is already verified."));
        return;
    }
    const SessionRecord& journal = *read;
    const QString source = QFile::decodeName(QByteArray::fromStdString(journal.source));
    ImportOptions options = journal.options;
    options.writeMhl = settings_().preferences.writeMhl; // the journal does not keep it
    auto* batch = new ImportBatch(source, false, std::move(options), this);
    batch->addJob(new DestinationJob(QFileInfo(QDir::cleanPath(folder)).path(), folder));
    batches_.prepend(batch);
    emit batchesChanged();
    startQueue();
}

void ImportQueue::clearFinished() {
    QList<ImportBatch*> kept;
    for (ImportBatch* batch : batches_) {
        if (batch->active()) {
            kept.append(batch);
        } else {
            batch->deleteLater();
        }
    }
    batches_ = kept;
    emit batchesChanged();
}

void ImportQueue::startQueue() {
    if (processing_) {
        return; // the running queue picks the batch up
    }
    processing_ = true;
    emit processingChanged();
    QMetaObject::invokeMethod(this, &ImportQueue::processQueue, Qt::QueuedConnection);
}

void ImportQueue::processQueue() {
    ImportBatch* batch = nullptr;
    for (auto it = batches_.rbegin(); it != batches_.rend() && !batch; ++it) {
        if ((*it)->state() == ImportBatch::State::Queued) {
            batch = *it;
        }
    }
    if (!batch) {
        processing_ = false;
        emit processingChanged();
        return;
    }
    batch->setState(ImportBatch::State::Importing);
    AppDiagnostics::log(u"Import start source=" + batch->source() + u" destinations=" +
                        QString::number(batch->jobs().size()) + u" automatic=" +
                        (batch->automatic() ? u"true" : u"false"));
    const auto jobs = batch->jobs();
    const bool resuming = std::any_of(jobs.begin(), jobs.end(), [](const DestinationJob* job) {
        return job->resumeFolder().has_value();
    });
    if (resuming) {
        startJobs(batch); // keeps the camera name it was given
    } else {
        fixCameraName(batch);
    }
}

// The user's override for the card, else the name read from its clips, else "Unknown Camera".
void ImportQueue::fixCameraName(ImportBatch* batch) {
    const QString source = batch->source();
    runInBackground(
        this,
        [source, system = system_] {
            const auto uuid = platform::volumeUuid(pathOf(source), system);
            return uuid ? QString::fromStdString(*uuid) : source;
        },
        [batch = QPointer<ImportBatch>(batch), source](ImportQueue& queue, QString key) {
            if (!batch) {
                return;
            }
            if (const QString override = queue.settings_().preferences.cameraOverrides.value(key);
                !override.isEmpty()) {
                batch->options().cameraName = override.toStdString();
                queue.startJobs(batch);
                return;
            }
            runInBackground(
                &queue,
                [source] {
                    std::vector<std::filesystem::path> clips;
                    try {
                        clips = ImportEngine::videoFiles(pathOf(source));
                    } catch (const QuayError&) {
                        // The import itself reports an unreadable source.
                    }
                    return CameraMetadata::detect(clips, std::stop_token());
                },
                [batch, key](ImportQueue& later, std::optional<std::string> detected) {
                    if (!batch) {
                        return;
                    }
                    // An override typed while detection ran still wins.
                    const QString override =
                        later.settings_().preferences.cameraOverrides.value(key);
                    batch->options().cameraName =
                        !override.isEmpty() ? override.toStdString()
                                            : detected.value_or(unknownCamera.toStdString());
                    later.startJobs(batch);
                });
        });
}

void ImportQueue::startJobs(ImportBatch* batch) {
    if (!inhibitor_) {
        inhibitor_ = std::make_unique<platform::SleepInhibitor>(
            QStringLiteral("Verified camera media import"));
    }
    const auto now = std::chrono::steady_clock::now();
    for (DestinationJob* job : batch->jobs()) {
        connect(job, &DestinationJob::sessionStarted, this, [this](const QString& folder) {
            emit importFolderStarted(folder);
            emit runningFoldersChanged();
        });
        job->start(now);
    }
    // The jobs read each source file once between them; a retry later runs alone.
    const auto sharedReads =
        std::make_shared<ImportEngine::SharedReads>(static_cast<size_t>(batch->jobs().size()));
    for (DestinationJob* job : batch->jobs()) {
        runEngine(batch, job, sharedReads);
    }
}

void ImportQueue::runEngine(ImportBatch* batch, DestinationJob* job,
                            std::shared_ptr<ImportEngine::SharedReads> sharedReads) {
    ImportEngine::RunEnvironment environment = ImportEngine::systemEnvironment();
    environment.sharedReads = std::move(sharedReads);
    environment.volumeIdentifier = [system = system_](const std::filesystem::path& folder) {
        return platform::volumeUuid(folder, system);
    };
    std::optional<std::filesystem::path> resume;
    if (job->resumeFolder()) {
        resume = pathOf(*job->resumeFolder());
    }
    // The run owns everything it uses and reports through weak references; the queue joins it
    // when it ends, or cancels and joins it when the queue goes.
    engineRuns_.start(
        this,
        [source = pathOf(batch->source()), target = pathOf(job->target()),
         options = batch->options(), cancellation = job->cancellation(), resume, environment,
         catalogFile = catalogFile_, system = system_, batchRef = QPointer<ImportBatch>(batch),
         jobRef = QPointer<DestinationJob>(job)](std::stop_token stop, auto post) {
            std::stop_callback cancelOnStop(stop, [cancellation] { cancellation->cancel(); });
            EngineOutcome outcome;
            try {
                outcome.result = ImportEngine::run(
                    source, target, options, *cancellation, resume,
                    [jobRef](const ImportProgress& progress) {
                        postToMain(jobRef, [progress](DestinationJob& receiver) {
                            receiver.accept(progress, std::chrono::steady_clock::now());
                        });
                    },
                    environment);
            } catch (const QuayError& error) {
                outcome.error = QString::fromStdString(error.what());
                outcome.cancelled = error.kind() == QuayError::Kind::cancelled;
            }
            if (outcome.result) {
                afterVerified(outcome, catalogFile, system, source, target, options.videosOnly);
            }
            post([batchRef, jobRef, outcome](ImportQueue& owner) {
                if (!batchRef || !jobRef) {
                    return;
                }
                if (outcome.catalogProblem) {
                    AppDiagnostics::log(u"Catalog: " + *outcome.catalogProblem);
                }
                if (outcome.result) {
                    jobRef->succeed(*outcome.result);
                } else {
                    jobRef->fail(outcome.error, outcome.cancelled);
                }
                owner.jobEnded(batchRef, jobRef);
            });
        });
}

void ImportQueue::jobEnded(ImportBatch* batch, DestinationJob* job) {
    if (const auto& result = job->result()) {
        const QString folder =
            QFile::decodeName(QByteArray::fromStdString(result->destination.native()));
        emit importFolderVerified(folder);
        AppDiagnostics::log(u"Verified " + QString::number(result->fileCount) + u" files, " +
                            QString::number(result->bytes) + u" bytes at " + folder);
    } else {
        AppDiagnostics::log(u"Import failed target=" + job->target() + u": " + job->error());
    }
    emit runningFoldersChanged();
    const auto jobs = batch->jobs();
    if (!std::all_of(jobs.begin(), jobs.end(), [](auto* j) { return j->finished(); })) {
        return;
    }
    const bool verified =
        std::all_of(jobs.begin(), jobs.end(), [](auto* j) { return j->verified(); });
    batch->setState(verified ? ImportBatch::State::Verified : ImportBatch::State::NeedsAttention);
    // The card's state shows at once; the report, which states it too, follows.
    showCardState(batch, settings_().preferences.writeReport);
    inhibitor_.reset();
    emit batchEnded(batch->source());
    processQueue();
}

void ImportQueue::reportOf(ImportBatch* batch, const QString& cardState) {
    BatchReportWork work;
    work.context.heading = reportHeadingOf(settings_().preferences);
    work.context.cardState = cardState.toStdString();
    for (DestinationJob* job : batch->jobs()) {
        if (const auto& result = job->result()) {
            work.folders.push_back(
                {result->destination, pathOf(job->target()).filename().string()});
            work.context.addWarnings(result->warnings);
        } else {
            report::ReportDestination failed;
            failed.name = pathOf(job->target()).filename().string();
            failed.result = job->error().toStdString();
            work.context.unverified.push_back(std::move(failed));
        }
    }
    if (work.folders.empty()) {
        return;
    }
    work.source = pathOf(batch->source());
    engineRuns_.start(
        this, [work = std::move(work), system = system_, cancellation = batch->startReport(),
               batchRef = QPointer<ImportBatch>(batch)](std::stop_token stop, auto post) mutable {
            std::stop_callback cancelOnStop(stop, [cancellation] { cancellation->cancel(); });
            const auto outcome = writeBatchReport(std::move(work), system, *cancellation);
            post([batchRef, outcome](ImportQueue&) {
                if (batchRef) {
                    batchRef->endReport(outcome.file, outcome.problem);
                }
            });
        });
}

void ImportQueue::showCardState(ImportBatch* batch, bool thenReport) {
    runInBackground(
        batch,
        [catalogFile = catalogFile_, source = pathOf(batch->source()),
         videosOnly = batch->options().videosOnly,
         required = settings_().preferences.requiredCopies, system = system_] {
            return CatalogWork::cardState(catalogFile, source, videosOnly, required, system);
        },
        [queue = QPointer<ImportQueue>(this), thenReport](ImportBatch& ended,
                                                          const CatalogWork::CardStateText& state) {
            ended.setCardState(state.text, state.safeToFormat);
            if (thenReport && queue) {
                queue->reportOf(&ended, state.text);
            }
        });
}

} // namespace quaymark
