// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportCommand.h"

#include "CameraCommand.h"
#include "CardMemory.h"
#include "Signals.h"
#include "Supervisor.h"
#include "app/platform/DriveIdentity.h"
#include "app/platform/Volumes.h"
#include "ingest/copy/SessionDocuments.h"
#include "ingest/copy/SharedReads.h"
#include "ingest/engine/ImportRun.h"
#include "ingest/engine/ProgressIntake.h"
#include "ingest/scan/FileSize.h"
#include "report/ImportReport.h"
#include "report/ReportPdf.h"

#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>

namespace quaymark::cli {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// One destination's run, shared between its thread and the main thread.
struct DestinationRun {
    std::string target;
    std::optional<fs::path> resumeFolder;
    CancellationFlag cancellation;

    std::mutex mutex;                    // guards everything below
    std::vector<ImportProgress> arrived; // snapshots not yet taken by the main thread
    std::optional<ImportResult> result;
    std::optional<std::string> error;
    bool cancelled = false;
    bool done = false;

    // Main thread only.
    ProgressIntake intake{Clock::now()};
    Clock::time_point lastPrinted{};
};

std::string speedText(double bytesPerSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f MB/s", bytesPerSecond / 1e6);
    return text;
}

std::string describe(const DestinationRun& run) {
    const ImportProgress& p = run.intake.progress();
    char percent[16];
    std::snprintf(percent, sizeof percent, "%.0f%%", p.fraction() * 100);
    return fs::path(run.target).filename().string() + ": " + std::string(toString(p.phase)) + " " +
           std::to_string(p.verifiedFiles) + "/" + std::to_string(p.totalFiles) + " files of " +
           formatFileSize(p.totalBytes) + ", " + percent + ", " + speedText(run.intake.speed());
}

nlohmann::json progressEvent(const DestinationRun& run) {
    const ImportProgress& p = run.intake.progress();
    nlohmann::json event = {{"event", "progress"},
                            {"destination", run.target},
                            {"phase", std::string(toString(p.phase))},
                            {"totalFiles", p.totalFiles},
                            {"verifiedFiles", p.verifiedFiles},
                            {"totalBytes", p.totalBytes},
                            {"copiedBytes", p.copiedBytes},
                            {"verifiedBytes", p.verifiedBytes},
                            {"currentFile", p.currentFile},
                            {"fraction", p.fraction()},
                            {"speed", run.intake.speed()}};
    if (p.destination) {
        event["importFolder"] = p.destination->string();
    }
    return event;
}

void report(const DestinationRun& run, const CommandLine& command, Reporter& reporter) {
    const auto& folder = run.intake.progress().destination;
    if (reporter.json()) {
        nlohmann::json event = {{"event", "result"}, {"destination", run.target}};
        if (run.result) {
            event["status"] = "verified";
            event["importFolder"] = run.result->destination.string();
            event["fileCount"] = run.result->fileCount;
            event["bytes"] = run.result->bytes;
            event["elapsed"] = run.result->elapsed;
            event["warnings"] = run.result->warnings;
        } else {
            event["status"] = run.cancelled ? "cancelled" : "failed";
            event["error"] = run.error.value_or("");
            if (folder) {
                event["importFolder"] = folder->string();
            }
        }
        reporter.event(event);
        return;
    }
    if (run.result) {
        char elapsed[32];
        std::snprintf(elapsed, sizeof elapsed, "%.1f s", run.result->elapsed);
        reporter.say("Verified   " + run.result->destination.string() + " (" +
                     std::to_string(run.result->fileCount) + " files, " +
                     formatFileSize(run.result->bytes) + " in " + elapsed + ")");
        for (const auto& warning : run.result->warnings) {
            reporter.say("Warning    " + warning);
        }
        return;
    }
    reporter.say(std::string(run.cancelled ? "Cancelled  " : "Failed     ") +
                 (run.resumeFolder ? run.resumeFolder->string() : run.target) + ": " +
                 run.error.value_or(""));
    if (folder) {
        reporter.say(
            "           resume with: quaymark-ingest resume " + shellQuoted(folder->string()) +
            " --source " + shellQuoted(fs::absolute(command.source).lexically_normal().string()) +
            (command.allFiles ? " --all-files" : "") + (command.writeMhl ? "" : " --no-mhl"));
    }
}

// The application's volume identity, so that the command and the application can resume
// each other's imports.
ImportEngine::RunEnvironment runEnvironment() {
    ImportEngine::RunEnvironment environment = ImportEngine::systemEnvironment();
    environment.volumeIdentifier = [](const fs::path& folder) {
        return platform::volumeUuid(folder);
    };
    return environment;
}

using Runs = std::vector<std::unique_ptr<DestinationRun>>;

// After the receipts and the histories, one report of the whole batch in each verified folder;
// a report that cannot be made leaves the imports verified.
void writeReportOf(const Runs& runs, const CommandLine& command, CardMemory& memory,
                   Reporter& reporter) {
    report::ReportContext context;
    context.heading = {command.production, command.shootingDay, command.operatorName};
    std::vector<report::BatchFolder> folders;
    for (const auto& run : runs) {
        if (run->result) {
            folders.push_back(
                {run->result->destination, fs::path(run->target).filename().string()});
            context.addWarnings(run->result->warnings);
        } else {
            report::ReportDestination failed;
            failed.name = fs::path(run->target).filename().string();
            failed.result = run->error.value_or("Not verified");
            context.unverified.push_back(std::move(failed));
        }
    }
    if (!command.writeReport || folders.empty()) {
        return;
    }
    if (memory.card()) {
        context.source = report::ReportSource{command.source, memory.card()->label.value_or(""),
                                              memory.card()->volumeUuid.value_or(""),
                                              platform::driveDescription(command.source),
                                              memory.card()->capacity};
    }
    context.cardState = memory.cardStateText(command.source, static_cast<int>(command.copies));
    try {
        report::ensureGuiForReports();
        for (const auto& problem : report::writeBatchReport(folders, context, CancellationFlag{})) {
            reporter.notice("report", "Report: not written: " + problem);
        }
    } catch (const std::exception& error) {
        reporter.notice("report", std::string("Report: not written: ") + error.what());
    }
}

// One run per destination, or the one run a resume continues.
Runs planRuns(const CommandLine& command) {
    Runs runs;
    if (command.kind == CommandKind::resume) {
        auto run = std::make_unique<DestinationRun>();
        run->resumeFolder = fs::absolute(command.folder).lexically_normal();
        if (run->resumeFolder->filename().empty()) {
            run->resumeFolder = run->resumeFolder->parent_path();
        }
        run->target = run->resumeFolder->parent_path().string();
        runs.push_back(std::move(run));
        return runs;
    }
    for (const auto& destination : command.destinations) {
        auto run = std::make_unique<DestinationRun>();
        run->target = destination;
        runs.push_back(std::move(run));
    }
    return runs;
}

// The body of a destination's thread: the engine's run, its outcome handed to the main thread.
void runDestination(DestinationRun& run, const CommandLine& command, const ImportOptions& options,
                    const std::shared_ptr<ImportEngine::SharedReads>& sharedReads) {
    ImportEngine::RunEnvironment environment = runEnvironment();
    environment.sharedReads = sharedReads;
    std::optional<ImportResult> result;
    std::optional<std::string> error;
    bool cancelled = false;
    try {
        result = ImportEngine::run(
            command.source, run.target, options, run.cancellation, run.resumeFolder,
            [&run](const ImportProgress& progress) {
                std::lock_guard lock(run.mutex);
                run.arrived.push_back(progress);
            },
            environment);
    } catch (const QuayError& failure) {
        error = failure.what();
        cancelled = failure.kind() == QuayError::Kind::cancelled;
    }
    std::lock_guard lock(run.mutex);
    run.result = std::move(result);
    run.error = std::move(error);
    run.cancelled = cancelled;
    run.done = true;
}

// Feeds every run's progress to its intake and prints it; true once every run has ended.
bool showProgress(Runs& runs, Reporter& reporter, Clock::duration printInterval) {
    bool allDone = true;
    std::string line;
    const auto now = Clock::now();
    for (auto& run : runs) {
        std::vector<ImportProgress> arrived;
        {
            std::lock_guard lock(run->mutex);
            arrived.swap(run->arrived);
            allDone = allDone && run->done;
        }
        for (const auto& snapshot : arrived) {
            run->intake.accept(snapshot, now);
        }
        if (reporter.json()) {
            if (!arrived.empty() && now - run->lastPrinted >= printInterval) {
                run->lastPrinted = now;
                reporter.event(progressEvent(*run));
            }
        } else {
            line += (line.empty() ? "" : " | ") + describe(*run);
        }
    }
    if (!allDone && !reporter.json() && now - runs.front()->lastPrinted >= printInterval) {
        runs.front()->lastPrinted = now;
        reporter.live(line);
    }
    return allDone;
}

// How long a cancelled run may take to end before it is left behind.
constexpr std::chrono::seconds cancelBound{5};

// Marks a stuck run's journal interrupted, giving up after a while: the drive that holds the
// run may hold this write too. The thread is detached only because the process ends right
// after; a write it still waits in then ends with the process.
void markLeftBehind(const fs::path& folder) {
    auto marked = std::make_shared<std::promise<void>>();
    std::future<void> done = marked->get_future();
    std::thread([folder, marked] {
        try {
            ImportEngine::markInterrupted(folder, QuayError::cancelled().what());
        } catch (const std::exception&) {
            // It still says incomplete, which a resume takes as well.
        }
        marked->set_value();
    }).detach();
    done.wait_for(std::chrono::seconds(2));
}

// Runs that did not end within the bound after a Ctrl-C are stuck in a write that does not
// return: their journals are marked interrupted from here, every run is reported, and the
// command ends without waiting for them.
[[noreturn]] void leaveStuckRuns(Runs& runs, const CommandLine& command, Reporter& reporter) {
    const std::string stuck = "A write on this destination did not return; it was left behind.";
    for (auto& run : runs) {
        // Held while reporting: a run that ends meanwhile must not change what is read.
        std::lock_guard lock(run->mutex);
        if (!run->done) {
            if (const auto& folder = run->intake.progress().destination) {
                markLeftBehind(*folder);
            }
            run->error = stuck;
            run->cancelled = true;
        }
        report(*run, command, reporter);
    }
    endSupervised(130);
}

// The main thread's part until every run has ended: interrupts, progress and printing.
void followRuns(Runs& runs, const CommandLine& command, InterruptWatch& interrupts,
                Reporter& reporter) {
    const auto printInterval = reporter.json()       ? std::chrono::milliseconds(1000)
                               : reporter.terminal() ? std::chrono::milliseconds(200)
                                                     : std::chrono::milliseconds(5000);
    bool cancelling = false;
    auto cancelledAt = std::chrono::steady_clock::now();
    for (;;) {
        if (interrupts.wait(std::chrono::milliseconds(100))) {
            if (cancelling) {
                // A second Ctrl-C does not wait for a copy stuck on a dead drive; the journals
                // still allow a resume.
                reporter.error("Stopped at once. Resume the import later.");
                endSupervised(130);
            }
            cancelling = true;
            cancelledAt = std::chrono::steady_clock::now();
            for (auto& run : runs) {
                run->cancellation.cancel();
            }
        }
        if (showProgress(runs, reporter, printInterval)) {
            return;
        }
        if (cancelling && std::chrono::steady_clock::now() - cancelledAt >= cancelBound) {
            leaveStuckRuns(runs, command, reporter);
        }
    }
}

} // namespace

int runImport(const CommandLine& command, Reporter& reporter) {
    InterruptWatch interrupts;
    ImportOptions options{command.rule, command.parallel, !command.allFiles, command.camera,
                          command.writeMhl};
    Runs runs = planRuns(command);
    CardMemory memory(command, reporter);
    if (command.kind == CommandKind::import) {
        const auto decision = memory.checkSource(command, CancellationFlag{});
        if (decision.nothingToImport) {
            if (reporter.json()) {
                reporter.event({{"event", "result"}, {"status", "alreadyImported"}});
            } else {
                reporter.say("Nothing to import.");
            }
            return 0;
        }
        options.onlyFiles = decision.onlyFiles;
    }
    if (command.kind != CommandKind::resume && !options.cameraName) {
        options.cameraName = detectCamera(command.source, interrupts);
        if (interrupts.interrupted()) {
            reporter.error("Interrupted before the import started.");
            return 130;
        }
    }

    // The destinations read each source file once between them.
    const auto sharedReads = std::make_shared<ImportEngine::SharedReads>(runs.size());
    std::vector<std::jthread> threads;
    for (auto& run : runs) {
        threads.emplace_back([run = run.get(), &command, options, sharedReads] {
            runDestination(*run, command, options, sharedReads);
        });
    }
    followRuns(runs, command, interrupts, reporter);
    threads.clear();

    bool allVerified = true;
    for (const auto& run : runs) {
        if (run->result) {
            memory.recordVerified(run->result->destination, run->target);
        }
    }
    writeReportOf(runs, command, memory, reporter);
    for (const auto& run : runs) {
        report(*run, command, reporter);
        allVerified = allVerified && run->result.has_value();
    }
    if (interrupts.interrupted()) {
        return 130;
    }
    return allVerified ? 0 : 1;
}

} // namespace quaymark::cli
