#include "VerifyCommand.h"

#include "Signals.h"
#include "ingest/copy/FileDigest.h"
#include "ingest/copy/FolderBeneath.h"
#include "ingest/copy/SessionDocuments.h"
#include "ingest/mhl/MhlHistory.h"
#include "ingest/records/RecordsJson.h"
#include "ingest/scan/FileSize.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>

namespace quaymark::cli {

namespace fs = std::filesystem;

namespace {

// historyDiffers: the content's XXH3-128 is not the one the folder's ASC MHL history records.
enum class FileState { matches, missing, changed, invalid, unlisted, historyDiffers };

const char* stateName(FileState state) {
    switch (state) {
    case FileState::matches:
        return "matches";
    case FileState::missing:
        return "missing";
    case FileState::changed:
        return "changed";
    case FileState::invalid:
        return "invalid";
    case FileState::unlisted:
        return "unlisted";
    case FileState::historyDiffers:
        return "mhl-differs";
    }
    return "";
}

// A receipt names files inside its folder; anything else is not read.
bool safeRelative(const std::string& path) {
    const fs::path relative(path);
    if (path.empty() || relative.is_absolute()) {
        return false;
    }
    for (const auto& part : relative) {
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
    }
    return true;
}

bool ownDocument(const std::string& relative) {
    return relative == ImportDocuments::journal || relative == ImportDocuments::receipt ||
           relative == ImportDocuments::marker || relative == ImportDocuments::lock ||
           relative.starts_with("ascmhl/");
}

struct Finding {
    std::string path;
    FileState state;
};

// Shared between the checking thread and the main thread.
struct Check {
    std::mutex mutex;
    std::vector<Finding> findings;
    std::int64_t checkedFiles = 0;
    std::int64_t checkedBytes = 0;
    std::optional<std::string> error;
    bool done = false;
};

using History = std::optional<std::map<std::string, std::string>>;

// The file's state against the receipt, and whether the history disagrees with its content.
std::pair<FileState, bool> checkFile(const fs::path& folder, const FileReceipt& file,
                                     const History& history, const CancellationFlag& cancellation,
                                     Check& check) {
    if (!safeRelative(file.path)) {
        return {FileState::invalid, false};
    }
    PlaceBeneath place;
    try {
        place = placeBeneath(folder, file.path, false);
    } catch (const QuayError&) {
        return {FileState::changed, false}; // a link where a folder was: not the copy
    }
    struct stat info {};
    if (!place.folder ||
        ::fstatat(place.folder.get(), place.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return {FileState::missing, false};
    }
    const auto recorded =
        history ? history->find(file.path) : std::map<std::string, std::string>::const_iterator{};
    const bool listed = history && recorded != history->end();
    if (!S_ISREG(info.st_mode) || (info.st_size != file.bytes && !listed)) {
        return {FileState::changed, false};
    }
    const auto hashes = ImportEngine::hashesAt(
        place.folder.get(), place.name, folder / file.path, cancellation, [&](size_t length) {
            std::lock_guard lock(check.mutex);
            check.checkedBytes += static_cast<std::int64_t>(length);
        });
    const bool matches = info.st_size == file.bytes && hashes.sha256 == file.sha256;
    return {matches ? FileState::matches : FileState::changed,
            listed && recorded->second != hashes.xxh128};
}

void checkFolder(const fs::path& folder, const ImportReceipt& receipt, const History& history,
                 const CancellationFlag& cancellation, Check& check) {
    std::set<std::string> listed;
    for (const auto& file : receipt.files) {
        listed.insert(file.path);
        const auto [state, historyDiffers] = checkFile(folder, file, history, cancellation, check);
        std::lock_guard lock(check.mutex);
        check.findings.push_back({file.path, state});
        if (historyDiffers) {
            check.findings.push_back({file.path, FileState::historyDiffers});
        }
        check.checkedFiles += 1;
    }
    for (auto it = fs::recursive_directory_iterator(folder);
         it != fs::recursive_directory_iterator(); ++it) {
        cancellation.check();
        if (it->is_directory() && !it->is_symlink()) {
            continue;
        }
        const std::string relative = it->path().lexically_relative(folder).generic_string();
        if (!listed.contains(relative) && !ownDocument(relative)) {
            std::lock_guard lock(check.mutex);
            check.findings.push_back({relative, FileState::unlisted});
        }
    }
}

} // namespace

int runVerify(const CommandLine& command, Reporter& reporter) {
    InterruptWatch interrupts;
    const fs::path folder = fs::absolute(command.folder).lexically_normal();
    ImportReceipt receipt;
    try {
        receipt = decodeReceipt(readDocument(folder / ImportDocuments::receipt, 268'435'456,
                                             "The verification receipt is too large to read."));
    } catch (const fs::filesystem_error& error) {
        reporter.error("No verification receipt in " + folder.string() + ": " +
                       error.code().message() + ". The import was never fully verified.");
        return 1;
    } catch (const std::exception& error) {
        reporter.error("The verification receipt in " + folder.string() +
                       " cannot be read: " + error.what());
        return 1;
    }

    History history;
    try {
        history = AscMhl::recordedHashes(folder);
    } catch (const std::exception& error) {
        reporter.error("The ASC MHL history in " + folder.string() +
                       " cannot be read: " + error.what());
        return 1;
    }

    std::int64_t totalBytes = 0;
    for (const auto& file : receipt.files) {
        totalBytes += file.bytes;
    }
    CancellationFlag cancellation;
    Check check;
    std::jthread worker([&] {
        std::optional<std::string> error;
        try {
            checkFolder(folder, receipt, history, cancellation, check);
        } catch (const std::exception& failure) {
            error = failure.what();
        }
        std::lock_guard lock(check.mutex);
        check.error = std::move(error);
        check.done = true;
    });

    size_t shown = 0;
    std::vector<Finding> findings;
    for (bool done = false; !done;) {
        if (interrupts.wait(std::chrono::milliseconds(200))) {
            if (cancellation.isCancelled()) {
                // A second Ctrl-C does not wait for a read stuck on a dead drive.
                reporter.error("Stopped at once.");
                std::_Exit(130);
            }
            cancellation.cancel();
        }
        std::int64_t files = 0;
        std::int64_t bytes = 0;
        {
            std::lock_guard lock(check.mutex);
            done = check.done;
            findings = check.findings;
            files = check.checkedFiles;
            bytes = check.checkedBytes;
        }
        for (; shown < findings.size(); ++shown) {
            const Finding& finding = findings[shown];
            if (reporter.json()) {
                reporter.event({{"event", "file"},
                                {"path", finding.path},
                                {"status", stateName(finding.state)}});
            } else if (finding.state == FileState::historyDiffers) {
                reporter.say("ASC MHL    " + finding.path +
                             ": XXH3-128 differs from the history's hash");
            } else if (finding.state != FileState::matches) {
                std::string label = stateName(finding.state);
                label[0] = static_cast<char>(label[0] - 'a' + 'A');
                label.resize(11, ' ');
                reporter.say(label + finding.path);
            }
        }
        if (!done && !reporter.json() && reporter.terminal()) {
            reporter.live("verifying " + std::to_string(files) + "/" +
                          std::to_string(receipt.files.size()) + " files, " +
                          formatFileSize(bytes) + " of " + formatFileSize(totalBytes));
        }
    }
    worker.join();

    if (check.error) {
        reporter.error(*check.error);
        return interrupts.interrupted() ? 130 : 1;
    }
    std::map<FileState, std::int64_t> counts;
    for (const auto& finding : findings) {
        counts[finding.state] += 1;
    }
    const std::int64_t problems =
        static_cast<std::int64_t>(findings.size()) - counts[FileState::matches];
    if (reporter.json()) {
        reporter.event({{"event", "result"},
                        {"status", problems == 0 ? "verified" : "mismatch"},
                        {"importFolder", folder.string()},
                        {"files", receipt.files.size()},
                        {"matches", counts[FileState::matches]},
                        {"missing", counts[FileState::missing]},
                        {"changed", counts[FileState::changed] + counts[FileState::invalid]},
                        {"unlisted", counts[FileState::unlisted]},
                        {"mhlDiffers", counts[FileState::historyDiffers]}});
    } else if (problems == 0) {
        reporter.say("All " + std::to_string(receipt.files.size()) + " files in " +
                     folder.string() + " match the receipt" +
                     (history ? " and the ASC MHL history." : "."));
    } else {
        reporter.say(std::to_string(counts[FileState::missing]) + " missing, " +
                     std::to_string(counts[FileState::changed] + counts[FileState::invalid]) +
                     " changed and " + std::to_string(counts[FileState::unlisted]) +
                     " unlisted of " + std::to_string(receipt.files.size()) +
                     " files in the receipt of " + folder.string() + "." +
                     (counts[FileState::historyDiffers] > 0
                          ? " " + std::to_string(counts[FileState::historyDiffers]) +
                                " disagree with the ASC MHL history."
                          : ""));
    }
    return problems == 0 ? 0 : 1;
}

} // namespace quaymark::cli
