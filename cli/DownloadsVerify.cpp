// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadsVerify.h"

#include "ingest/engine/DownloadsReceipt.h"
#include "ingest/records/QuayError.h"

#include <future>
#include <map>

namespace quaymark::cli {

namespace fs = std::filesystem;
using ImportEngine::DownloadFinding;

namespace {

const char* stateName(DownloadFinding::State state) {
    switch (state) {
    case DownloadFinding::State::missing:
        return "missing";
    case DownloadFinding::State::changed:
        return "changed";
    case DownloadFinding::State::matches:
        break;
    }
    return "matches";
}

} // namespace

bool holdsDownloads(const fs::path& folder) {
    std::error_code error;
    return fs::is_regular_file(folder / ImportEngine::downloadsReceiptName, error);
}

int verifyDownloads(const fs::path& folder, InterruptWatch& interrupts, Reporter& reporter) {
    CancellationFlag cancellation;
    auto check = std::async(std::launch::async,
                            [&] { return ImportEngine::checkDownloads(folder, cancellation); });
    while (check.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        if (interrupts.wait(std::chrono::milliseconds(200))) {
            cancellation.cancel();
        }
    }
    std::vector<DownloadFinding> findings;
    try {
        findings = check.get();
    } catch (const std::exception& error) {
        reporter.error(error.what());
        return interrupts.interrupted() ? 130 : 1;
    }
    std::map<DownloadFinding::State, std::size_t> counts;
    for (const DownloadFinding& finding : findings) {
        counts[finding.state] += 1;
        if (reporter.json()) {
            reporter.event(
                {{"event", "file"}, {"path", finding.file}, {"status", stateName(finding.state)}});
        } else if (finding.state != DownloadFinding::State::matches) {
            reporter.say(stateColumn(stateName(finding.state)) + finding.file);
        }
    }
    const std::size_t problems =
        counts[DownloadFinding::State::missing] + counts[DownloadFinding::State::changed];
    if (reporter.json()) {
        reporter.event({{"event", "result"},
                        {"status", problems == 0 ? "verified" : "mismatch"},
                        {"projectFolder", folder.string()},
                        {"files", findings.size()},
                        {"matches", counts[DownloadFinding::State::matches]},
                        {"missing", counts[DownloadFinding::State::missing]},
                        {"changed", counts[DownloadFinding::State::changed]}});
    } else if (problems == 0) {
        reporter.say("All " + std::to_string(findings.size()) + " files in " + folder.string() +
                     " match the downloads receipt.");
    } else {
        reporter.say(std::to_string(counts[DownloadFinding::State::missing]) + " missing and " +
                     std::to_string(counts[DownloadFinding::State::changed]) + " changed of " +
                     std::to_string(findings.size()) + " files in the downloads receipt of " +
                     folder.string() + ".");
    }
    return problems == 0 ? 0 : 1;
}

} // namespace quaymark::cli
