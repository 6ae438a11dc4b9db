// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportRun.h"

#include "CopyPass.h"
#include "JournalWriter.h"
#include "VolumeIdentity.h"
#include "ingest/copy/DiskWorkers.h"
#include "ingest/copy/DurableWrite.h"
#include "ingest/copy/FileDigest.h"
#include "ingest/copy/FolderBeneath.h"
#include "ingest/copy/SessionDocuments.h"
#include "ingest/copy/SessionLock.h"
#include "ingest/copy/SharedReads.h"
#include "ingest/mhl/MhlHistory.h"
#include "ingest/naming/ImportFolder.h"
#include "ingest/records/RecordsJson.h"
#include "ingest/records/Uuid.h"
#include "ingest/scan/DestinationNames.h"
#include "ingest/scan/FileSize.h"
#include "ingest/scan/LocationCheck.h"
#include "ingest/scan/ResolvedPath.h"
#include "ingest/scan/SourceScan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <set>

namespace quaymark {

namespace fs = std::filesystem;
using PlannedMap = std::map<std::string, std::int64_t>;

namespace {

constexpr std::int64_t freeSpaceMargin = 16'777'216;

PlannedMap plannedMap(const std::vector<SourceFile>& plan) {
    PlannedMap map;
    for (const auto& file : plan) {
        map.emplace(file.output, file.bytes); // the first of two equal outputs counts
    }
    return map;
}

bool entryExists(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

// A partial name as a journal gives it: a ".quaymark-….partial" file in a folder below the
// import folder, with no way out of it.
bool isPartialEntry(const std::string& entry) {
    const fs::path path(entry);
    if (entry.empty() || path.is_absolute() || path.extension() != ".partial" ||
        !path.filename().string().starts_with(ImportDocuments::partialPrefix)) {
        return false;
    }
    return std::none_of(path.begin(), path.end(), [](const fs::path& part) {
        return part.empty() || part == "." || part == "..";
    });
}

// Every folder of the import folder that holds a planned file, and the folders above them.
std::set<std::string> outputFolders(const std::vector<SourceFile>& plan) {
    std::set<std::string> folders{std::string()};
    for (const auto& file : plan) {
        for (fs::path folder = fs::path(file.output).parent_path(); !folder.empty();
             folder = folder.parent_path()) {
            if (!folders.insert(folder.generic_string()).second) {
                break;
            }
        }
    }
    return folders;
}

// One run of one import, in the order the journal's readers rely on.
class ImportRun {
public:
    ImportRun(const ImportOptions& options, const CancellationFlag& cancellation,
              const ImportEngine::ProgressCallback& progress,
              const ImportEngine::RunEnvironment& environment)
        : options_(options)
        , cancellation_(cancellation)
        , progress_(progress)
        , environment_(environment)
        , sharing_((environment.sharedReads ? environment.sharedReads
                                            : std::make_shared<ImportEngine::SharedReads>(1))
                       ->join(cancellation)) {}

    ImportResult run(const fs::path& source, const fs::path& target,
                     const std::optional<fs::path>& resumeFolder) {
        try {
            prepare(source, target, resumeFolder);
        } catch (...) {
            sharing_->withdraw();
            throw;
        }
        try {
            work();
            sharing_->withdraw();
            return complete();
        } catch (const std::exception& error) {
            sharing_->withdraw();
            interrupt(error.what());
            throw;
        }
    }

private:
    std::vector<SourceFile> scanPlan() const {
        return ImportEngine::plannedFiles(source_, options_.videosOnly, cancellation_, nameRules_);
    }

    // Narrows the plan to the card paths named; a named path the card no longer holds makes
    // the plan differ, as a changed card does.
    void keepOnly(const std::vector<std::string>& paths) {
        only_.emplace(paths.begin(), paths.end());
        plan_ = narrowed(std::move(plan_));
        if (plan_.size() != only_->size()) {
            throw QuayError::changed("The source file list differs from the one to import");
        }
        total_ = totalBytes();
    }

    std::vector<SourceFile> narrowed(std::vector<SourceFile> plan) const {
        if (only_) {
            std::erase_if(plan,
                          [&](const SourceFile& file) { return !only_->contains(file.relative); });
        }
        return plan;
    }

    void makePlan() {
        nameRules_ = ImportEngine::probeNameRules(target_);
        plan_ = scanPlan();
        if (options_.onlyFiles) {
            keepOnly(*options_.onlyFiles);
        }
        if (plan_.empty()) {
            throw QuayError::noFiles();
        }
        ImportEngine::checkPlanNames(plan_, nameRules_);
        total_ = totalBytes();
    }

    std::int64_t totalBytes() const {
        std::int64_t total = 0;
        for (const auto& file : plan_) {
            total += file.bytes;
        }
        return total;
    }

    SessionRecord newRecord(const std::optional<std::string>& sourceVolume) const {
        SessionRecord record;
        record.source = source_.string();
        record.sourceVolume = sourceVolume;
        record.destination = folder_.string();
        record.started = started_;
        record.options = options_;
        return record;
    }

    // A folder stopped before its first journal save holds nothing but the lock, temporary
    // files and perhaps the marker: nothing was copied, so it starts afresh.
    bool neverJournaled() const {
        if (entryExists(folder_ / ImportDocuments::journal)) {
            return false;
        }
        for (const auto& entry : fs::directory_iterator(folder_)) {
            const std::string name = entry.path().filename().string();
            if (name != ImportDocuments::lock && name != ImportDocuments::marker &&
                !isStatusFileName(name)) {
                return false;
            }
        }
        return true;
    }

    void report(const ImportProgress& progress) const {
        if (progress_) {
            progress_(progress);
        }
    }

    void prepare(const fs::path& source, const fs::path& target,
                 const std::optional<fs::path>& resumeFolder) {
        source_ = ImportEngine::resolvedPath(source);
        target_ = ImportEngine::resolvedPath(target);
        ImportEngine::validateLocations(source_, target_);
        cancellation_.check();
        sourceGuard_.emplace(VolumeGuard::make(source_));
        targetGuard_.emplace(VolumeGuard::make(target_));
        report(ImportProgress{});

        makePlan();
        const std::optional<std::string> sourceVolume =
            environment_.volumeIdentifier ? environment_.volumeIdentifier(source_) : std::nullopt;

        if (!resumeFolder) {
            folder_ =
                ImportEngine::makeSession(target_, source_.filename().string(), options_, started_);
            lock_.emplace(folder_);
            journal_.emplace(newRecord(sourceVolume), folder_);
        } else {
            folder_ = ImportEngine::resolvedPath(*resumeFolder);
            if (!ImportEngine::isInside(folder_, target_)) {
                throw QuayError::invalidLocation(
                    "Recovery folder must be inside the selected destination.");
            }
            lock_.emplace(folder_);
            removeLeftoverStatusFiles(folder_);
            SessionRecord record =
                neverJournaled() ? newRecord(sourceVolume) : ImportEngine::readSession(folder_);
            if (record.source != source_.string() || record.sourceVolume != sourceVolume ||
                record.destination != folder_.string() ||
                record.options.videosOnly != options_.videosOnly) {
                throw QuayError::invalidLocation("This recovery belongs to a different source or "
                                                 "import mode. Reconnect the original card.");
            }
            if (entryExists(folder_ / ImportDocuments::receipt)) {
                throw QuayError::invalidLocation("This import already has a complete "
                                                 "verification receipt. Start a new import "
                                                 "instead.");
            }
            if (record.options.onlyFiles && !options_.onlyFiles) {
                keepOnly(*record.options.onlyFiles);
            }
            journal_.emplace(std::move(record), folder_);
        }

        PlannedMap planned = plannedMap(plan_);
        const auto& recorded = journal_->record().plannedFiles;
        if (recorded && *recorded != planned) {
            throw QuayError::changed("The source file list differs from the interrupted import");
        }
        journal_->setPlannedFiles(std::move(planned));
        journal_->setStatus(SessionStatus::incomplete);
        journal_->save();
        durableWrite(ImportDocuments::incompleteText, folder_ / ImportDocuments::marker);
    }

    void work() {
        tracker_.emplace(ImportProgress{ImportPhase::copying,
                                        total_,
                                        0,
                                        0,
                                        static_cast<std::int64_t>(plan_.size()),
                                        0,
                                        {},
                                        folder_},
                         progress_);
        tracker_->update(
            [](ImportProgress& state) {
                state.currentFile = "Preparing files…";
                ProgressTracker::recomputePhase(state);
            },
            ProgressTracker::Report::always);

        std::map<std::string, FileReceipt> previous;
        for (const auto& receipt : journal_->record().completed) {
            previous.emplace(receipt.sourcePath.value_or(receipt.path), receipt);
        }
        journal_->clearCompleted();

        std::vector<const SourceFile*> pending;
        for (const auto& file : plan_) {
            recheck(file, previous, pending);
        }
        assignPartialNames(pending);
        journal_->save();
        checkFreeSpace(pending);
        sharing_->declare(pending);

        const ImportEngine::CopyContext context{folder_,       cancellation_, localCancel_,
                                                *sourceGuard_, *targetGuard_, *tracker_};
        ImportEngine::copyPending(pending, options_.parallelFiles, context, localCancel_, *journal_,
                                  *sharing_);
    }

    // A file already in place from an earlier run is hashed on both sides instead of copied.
    void recheck(const SourceFile& file, const std::map<std::string, FileReceipt>& previous,
                 std::vector<const SourceFile*>& pending) {
        cancellation_.check();
        sourceGuard_->check();
        targetGuard_->check();
        // Reached without following links, so that a link put in place of a sub-folder cannot
        // vouch for copies that live elsewhere.
        const PlaceBeneath copy = placeBeneath(folder_, file.output, false);
        struct stat info {};
        if (!copy.folder ||
            ::fstatat(copy.folder.get(), copy.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            pending.push_back(&file);
            return;
        }
        const auto earlier = previous.find(file.relative);
        if (earlier != previous.end() &&
            (earlier->second.path != file.output || earlier->second.bytes != file.bytes)) {
            throw QuayError::changed(file.relative);
        }
        if (!S_ISREG(info.st_mode)) {
            throw QuayError::verification(file.output);
        }
        const auto hashes =
            onWorker([&] {
                return std::pair{ImportEngine::hashes(file.url, cancellation_),
                                 ImportEngine::hashesAt(copy.folder.get(), copy.name,
                                                        folder_ / file.output, cancellation_)};
            }).get();
        if ((earlier != previous.end() && earlier->second.sha256 != hashes.first.sha256) ||
            (earlier != previous.end() && earlier->second.xxh128 &&
             *earlier->second.xxh128 != hashes.first.xxh128) ||
            hashes.first.sha256 != hashes.second.sha256 ||
            hashes.first.xxh128 != hashes.second.xxh128) {
            throw QuayError::verification(file.output);
        }
        // A stop between the hard link and the unlink of a move leaves the partial name beside
        // the final one; the final one is verified now, so the partial one can go.
        const auto& partials = journal_->record().partialFiles;
        if (partials) {
            if (const auto old = partials->find(file.relative); old != partials->end()) {
                removeOldPartial(old->second);
            }
        }
        journal_->addCompleted(FileReceipt{file.output, file.bytes, hashes.first.sha256,
                                           file.modified, file.relative, hashes.first.xxh128});
        tracker_->update(
            [&](ImportProgress& state) {
                state.copiedBytes += file.bytes;
                state.verifiedBytes += file.bytes;
                state.verifiedFiles += 1;
                state.currentFile = "Rechecked " + file.output;
                ProgressTracker::recomputePhase(state);
            },
            ProgressTracker::Report::always);
    }

    void assignPartialNames(const std::vector<const SourceFile*>& pending) {
        const auto& partials = journal_->record().partialFiles;
        for (const SourceFile* file : pending) {
            if (partials) {
                if (const auto old = partials->find(file->relative); old != partials->end()) {
                    removeOldPartial(old->second);
                }
            }
            const std::string folderPart = fs::path(file->output).parent_path().generic_string();
            const std::string name =
                std::string(ImportDocuments::partialPrefix) + makeUuid() + ".partial";
            const std::string partial = folderPart.empty() ? name : folderPart + "/" + name;
            journal_->setPartialFile(file->relative, partial);
        }
    }

    // A journal names partial files to delete; it must never lead outside the import folder.
    void removeOldPartial(const std::string& entry) {
        if (!isPartialEntry(entry)) {
            throw QuayError::invalidLocation("Invalid temporary-file recovery record.");
        }
        const PlaceBeneath partial = placeBeneath(folder_, entry, false);
        struct stat info {};
        if (!partial.folder || ::fstatat(partial.folder.get(), partial.name.c_str(), &info,
                                         AT_SYMLINK_NOFOLLOW) != 0) {
            return;
        }
        if (::unlinkat(partial.folder.get(), partial.name.c_str(), 0) != 0) {
            throw fs::filesystem_error("Cannot remove the partial file", folder_ / entry,
                                       std::error_code(errno, std::generic_category()));
        }
    }

    // The receipt may only list names that survive a power cut: every folder that received a
    // copy or a new folder is flushed first, down from the destination.
    void syncFolders() const {
        syncFoldersBeneath(folder_, outputFolders(plan_), environment_.folderSynced);
        for (fs::path folder = folder_.parent_path();
             ImportEngine::isInside(folder, target_) || folder == target_;
             folder = folder.parent_path()) {
            const UniqueFd fd{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
            if (!fd || retryOnInterrupt([&] { return ::fsync(fd.get()); }) != 0) {
                throw QuayError::io("Flush destination", folder.string(), errno);
            }
            if (environment_.folderSynced) {
                environment_.folderSynced(folder);
            }
            if (folder == target_) {
                break;
            }
        }
    }

    // Nothing may have replaced or removed a copy since it was verified, the history's own
    // writes included.
    void checkCopiesInPlace(const std::vector<FileReceipt>& files) const {
        for (const auto& file : files) {
            const PlaceBeneath copy = placeBeneath(folder_, file.path, false);
            struct stat info {};
            if (!copy.folder ||
                ::fstatat(copy.folder.get(), copy.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISREG(info.st_mode) || info.st_size != file.bytes) {
                throw QuayError::unavailable("The verified copy " + file.path +
                                             " is no longer in place. Use Retry / recover.");
            }
        }
    }

    void checkFreeSpace(const std::vector<const SourceFile*>& pending) const {
        std::int64_t needed = 0;
        for (const SourceFile* file : pending) {
            needed += file->bytes;
        }
        const auto available =
            environment_.freeSpace ? environment_.freeSpace(target_) : std::nullopt;
        if (available && *available < needed + freeSpaceMargin) {
            throw QuayError::unavailable("Not enough free space. Remaining copy requires " +
                                         formatFileSize(needed) + ".");
        }
    }

    ImportResult complete() {
        cancellation_.check();
        sourceGuard_->check();
        targetGuard_->check();
        if (plannedMap(narrowed(scanPlan())) != journal_->record().plannedFiles) {
            throw QuayError::changed("The source file list changed during import");
        }

        ImportReceipt receipt;
        receipt.source = source_.string();
        receipt.started = journal_->record().started;
        receipt.finished = Clock::now();
        receipt.files = journal_->record().completed;
        std::stable_sort(receipt.files.begin(), receipt.files.end(),
                         [](const auto& a, const auto& b) { return a.path < b.path; });
        if (receipt.files.size() != plan_.size()) {
            throw QuayError::unavailable("The import is missing files. Use Retry / recover.");
        }

        syncFolders();
        journal_->setStatus(SessionStatus::finalizing);
        journal_->save();
        const std::vector<std::string> warnings = AscMhl::writeHistory(
            {folder_, options_.videosOnly ? std::nullopt : std::optional(source_),
             options_.writeMhl, receipt.files, receipt.finished},
            cancellation_);
        checkCopiesInPlace(receipt.files);
        journal_->setStatus(SessionStatus::verified);
        journal_->save();
        // The receipt is the last document written: a stop before it leaves a folder that a
        // resume completes, never one that claims more than it holds.
        durableWrite(encodeReceipt(receipt), folder_ / ImportDocuments::receipt);
        std::error_code ignored;
        fs::remove(folder_ / ImportDocuments::marker, ignored);

        const auto count = static_cast<std::int64_t>(plan_.size());
        report(ImportProgress{ImportPhase::finished, total_, total_, total_, count, count,
                              "Every file verified", folder_});
        lock_->removeAndRelease();
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - clockStart_).count();
        return ImportResult{folder_, count, total_, elapsed, warnings};
    }

    void interrupt(const std::string& description) noexcept {
        try {
            journal_->setStatus(SessionStatus::interrupted, description);
            journal_->save();
        } catch (...) {
        }
        try {
            durableWrite(ImportDocuments::interruptedText(description),
                         folder_ / ImportDocuments::marker);
        } catch (...) {
        }
    }

    const ImportOptions& options_;
    // The card paths an import of some files only takes.
    std::optional<std::set<std::string>> only_;
    const CancellationFlag& cancellation_;
    const ImportEngine::ProgressCallback& progress_;
    const ImportEngine::RunEnvironment& environment_;
    const Timestamp started_ = Clock::now();
    const std::chrono::steady_clock::time_point clockStart_ = std::chrono::steady_clock::now();

    fs::path source_;
    fs::path target_;
    fs::path folder_;
    std::optional<VolumeGuard> sourceGuard_;
    std::optional<VolumeGuard> targetGuard_;
    ImportEngine::NameRules nameRules_;
    std::vector<SourceFile> plan_;
    std::int64_t total_ = 0;
    std::optional<SessionLock> lock_;
    std::optional<JournalWriter> journal_;
    std::optional<ProgressTracker> tracker_;
    CancellationFlag localCancel_;
    // Left on every exit, so that the other runs of the batch never wait for this one.
    std::unique_ptr<ImportEngine::SharedReads::Member> sharing_;
};

} // namespace

std::vector<SourceFile> ImportEngine::plannedFiles(const fs::path& source, bool videosOnly,
                                                   const CancellationFlag& cancellation,
                                                   const NameRules& rules) {
    return atEngineEdge([&] {
        std::vector<SourceFile> plan = scan(source, videosOnly, cancellation, rules);
        return videosOnly ? plan : AscMhl::withoutSourceHistory(std::move(plan));
    });
}

ImportEngine::RunEnvironment ImportEngine::systemEnvironment() {
    RunEnvironment environment;
    environment.freeSpace = [](const fs::path& folder) -> std::optional<std::int64_t> {
        struct statvfs info {};
        if (::statvfs(folder.c_str(), &info) != 0) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
    };
    environment.volumeIdentifier = volumeIdentifier;
    return environment;
}

ImportResult ImportEngine::run(const fs::path& source, const fs::path& target,
                               const ImportOptions& options, const CancellationFlag& cancellation,
                               const std::optional<fs::path>& resumeFolder,
                               const ProgressCallback& progress,
                               const RunEnvironment& environment) {
    return atEngineEdge([&] {
        ImportRun run{options, cancellation, progress, environment};
        return run.run(source, target, resumeFolder);
    });
}

} // namespace quaymark
