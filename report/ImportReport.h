// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ClipFacts.h"
#include "ingest/records/CancellationFlag.h"
#include "ingest/records/ImportRecords.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quaymark::report {

// One file of a verified import, as the report lists it.
struct ReportFile {
    std::string path; // inside the import folder
    std::int64_t bytes = 0;
    std::string sha256;
    std::string xxh128;
    // Read from the verified copy; absent for files that are no clips, or unreadable ones.
    std::optional<ClipFacts> facts;
};

// What the handover report of one import folder is made from.
struct ImportReport {
    std::filesystem::path folder;
    ImportReceipt receipt;
    std::string camera;
    std::vector<ReportFile> files;
};

// Reads the receipt, the journal's camera and the facts of every clip from the verified copy in
// `folder`. Throws std::runtime_error, in the user's words, for a folder without a receipt;
// QuayError::cancelled when asked to stop.
ImportReport readImportReport(const std::filesystem::path& folder,
                              const CancellationFlag& cancellation);

// Writes the report documents of a verified import folder into it, durably. Throws, in the
// user's words, when they cannot be made.
void writeReport(const std::filesystem::path& folder, const CancellationFlag& cancellation);
// The same for a report already read; returns the CSV's path.
std::filesystem::path writeReport(const ImportReport& report);

// RFC 4180: one header line and one line per file, CRLF line ends, UTF-8.
std::string reportCsv(const std::vector<ImportReport>& imports);

} // namespace quaymark::report
