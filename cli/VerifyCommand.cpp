// SPDX-License-Identifier: GPL-3.0-or-later
#include "VerifyCommand.h"

#include "CardMemory.h"
#include "DownloadsVerify.h"
#include "Signals.h"
#include "ingest/engine/ReceiptCheck.h"
#include "ingest/scan/FileSize.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

namespace quaymark::cli {

namespace fs = std::filesystem;

namespace {

using ImportEngine::FolderClaims;
using ImportEngine::ReceiptFinding;
using State = ReceiptFinding::State;

// Shared between the checking thread and the main thread.
struct Check {
    std::mutex mutex; // guards everything below
    std::vector<ReceiptFinding> findings;
    std::int64_t checkedFiles = 0;
    std::int64_t checkedBytes = 0;
    std::optional<std::string> error;
    bool done = false;
};

bool historyFinding(State state) {
    return state == State::historyDiffers || state == State::historyAltered ||
           state == State::historyGone || state == State::historyDamaged;
}

void runCheck(const fs::path& folder, const FolderClaims& claims,
              const CancellationFlag& cancellation, Check& check) {
    std::optional<std::string> error;
    try {
        ImportEngine::checkFolder(
            folder, claims, cancellation,
            [&](ReceiptFinding finding) {
                std::lock_guard lock(check.mutex);
                if (finding.state != State::unlisted && finding.state != State::leftover &&
                    !historyFinding(finding.state)) {
                    check.checkedFiles += 1;
                }
                check.findings.push_back(std::move(finding));
            },
            [&](std::size_t length) {
                std::lock_guard lock(check.mutex);
                check.checkedBytes += static_cast<std::int64_t>(length);
            });
    } catch (const QuayError& failure) {
        error = failure.what();
    }
    std::lock_guard lock(check.mutex);
    check.error = std::move(error);
    check.done = true;
}

void showFinding(const ReceiptFinding& finding, Reporter& reporter) {
    if (reporter.json()) {
        nlohmann::json event = {{"event", "file"},
                                {"path", finding.path},
                                {"status", ImportEngine::stateName(finding.state)}};
        if (!finding.detail.empty()) {
            event["detail"] = finding.detail;
        }
        reporter.event(event);
    } else if (finding.state == State::historyDiffers) {
        reporter.say("ASC MHL    " + finding.path + ": XXH3-128 differs from the history's hash");
    } else if (finding.state == State::historyAltered) {
        reporter.say("ASC MHL    " + finding.path + ": does not match its entry in the chain");
    } else if (finding.state == State::historyGone) {
        reporter.say("ASC MHL    " + finding.path + ": listed in the history, not in the folder");
    } else if (finding.state == State::historyDamaged) {
        reporter.say("ASC MHL    " + finding.detail);
    } else if (finding.state == State::leftover) {
        reporter.say("Leftover   " + finding.path +
                     " (a temporary file of a write cut short; ignored)");
    } else if (finding.state != State::matches) {
        reporter.say(stateColumn(ImportEngine::stateName(finding.state)) + finding.path);
    }
}

// Shows findings as they arrive and the progress line until the check ends; a first Ctrl-C
// stops the check, a second exits at once.
std::vector<ReceiptFinding> followCheck(Check& check, const FolderClaims& claims,
                                        CancellationFlag& cancellation, InterruptWatch& interrupts,
                                        Reporter& reporter) {
    std::int64_t totalBytes = 0;
    for (const auto& file : claims.receipt.files) {
        totalBytes += file.bytes;
    }
    size_t shown = 0;
    std::vector<ReceiptFinding> findings;
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
            showFinding(findings[shown], reporter);
        }
        if (!done && !reporter.json() && reporter.terminal()) {
            reporter.live("verifying " + std::to_string(files) + "/" +
                          std::to_string(claims.receipt.files.size()) + " files, " +
                          formatFileSize(bytes) + " of " + formatFileSize(totalBytes));
        }
    }
    return findings;
}

int reportResult(const fs::path& folder, const FolderClaims& claims,
                 const std::vector<ReceiptFinding>& findings, Reporter& reporter) {
    std::map<State, std::int64_t> counts;
    for (const auto& finding : findings) {
        counts[finding.state] += 1;
    }
    const auto countOf = [&](bool (*kind)(State)) {
        return static_cast<std::int64_t>(
            std::count_if(findings.begin(), findings.end(),
                          [&](const auto& finding) { return kind(finding.state); }));
    };
    const std::int64_t problems = countOf(ImportEngine::isProblem);
    const std::int64_t historyProblems = countOf(historyFinding);
    const std::size_t files = claims.receipt.files.size();
    if (reporter.json()) {
        reporter.event({{"event", "result"},
                        {"status", problems == 0 ? "verified" : "mismatch"},
                        {"importFolder", folder.string()},
                        {"files", files},
                        {"matches", counts[State::matches]},
                        {"missing", counts[State::missing]},
                        {"changed", counts[State::changed] + counts[State::invalid]},
                        {"unlisted", counts[State::unlisted]},
                        {"mhlDiffers", historyProblems},
                        {"leftover", counts[State::leftover]}});
    } else if (problems == 0) {
        reporter.say("All " + std::to_string(files) + " files in " + folder.string() +
                     " match the receipt" + (claims.history ? " and the ASC MHL history." : ".") +
                     (counts[State::leftover] > 0 ? " Temporary files of writes cut short were "
                                                    "ignored."
                                                  : ""));
    } else {
        reporter.say(std::to_string(counts[State::missing]) + " missing, " +
                     std::to_string(counts[State::changed] + counts[State::invalid]) +
                     " changed and " + std::to_string(counts[State::unlisted]) + " unlisted of " +
                     std::to_string(files) + " files in the receipt of " + folder.string() + "." +
                     (historyProblems > 0 ? " " + std::to_string(historyProblems) +
                                                " disagree with the ASC MHL history."
                                          : ""));
    }
    return problems == 0 ? 0 : 1;
}

} // namespace

int runVerify(const CommandLine& command, Reporter& reporter) {
    InterruptWatch interrupts;
    const fs::path folder = fs::absolute(command.folder).lexically_normal();
    if (holdsDownloads(folder)) {
        return verifyDownloads(folder, interrupts, reporter);
    }
    FolderClaims claims;
    try {
        claims = ImportEngine::readClaims(folder);
    } catch (const QuayError& error) {
        reporter.error(error.what());
        return 1;
    }
    CancellationFlag cancellation;
    Check check;
    std::jthread worker([&] { runCheck(folder, claims, cancellation, check); });
    const auto findings = followCheck(check, claims, cancellation, interrupts, reporter);
    worker.join();
    if (check.error) {
        reporter.error(*check.error);
        return interrupts.interrupted() ? 130 : 1;
    }
    const int status = reportResult(folder, claims, findings, reporter);
    CardMemory(command, reporter)
        .recordCheck(folder, status == 0 ? std::nullopt
                                         : std::optional<std::string>(
                                               "The files no longer match the receipt."));
    return status;
}

} // namespace quaymark::cli
