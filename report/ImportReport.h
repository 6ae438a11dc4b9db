// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ClipFacts.h"
#include "Thumbnailer.h"
#include "ingest/records/CancellationFlag.h"
#include "ingest/records/ImportRecords.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quaymark::report {

// Written at the top of every report; each may be empty.
struct ReportHeading {
    std::string production;
    std::string shootingDay;
    std::string operatorName;
};

// The card or drive an import came from, as far as it is known.
struct ReportSource {
    std::string path;
    std::string label;
    std::string volumeUuid;
    std::string device; // the reader or drive: model and serial
    std::optional<std::int64_t> capacity;
};

// One destination of the batch.
struct ReportDestination {
    std::string name;             // the folder the user chose
    std::filesystem::path folder; // the import folder below it; empty when none was made
    std::string result;           // "Verified", or what went wrong
    std::optional<Timestamp> started;
    std::optional<Timestamp> finished;
    std::int64_t bytes = 0;
    std::string receipt; // the receipt's file name, when it has one
    std::string history; // the newest ASC MHL generation, inside the import folder
    // The verified files: path inside the import folder, and SHA-256.
    std::map<std::string, std::string> files;
};

// One file of a verified import, as the report lists it.
struct ReportFile {
    std::string path; // inside the import folder
    std::int64_t bytes = 0;
    std::string sha256;
    std::string xxh128;
    // Read from the verified copy; absent for files that are no clips, or unreadable ones.
    std::optional<ClipFacts> facts;
    // Made only for clips, and only when previews were asked for.
    std::optional<Thumbnail> preview;
    bool isClip = false;
};

// What the handover report of one import is made from.
struct ImportReport {
    std::filesystem::path folder; // the main copy's import folder
    ImportReceipt receipt;
    std::string camera;
    ReportSource source;
    std::vector<ReportDestination> destinations;
    std::vector<ReportFile> files;
    std::vector<std::string> warnings;
    // "Safe to format: 2 verified copies on 2 drives", where the catalog knows the card.
    std::string cardState;
};

// One import's handover report, or a day report of several imports with a summary first.
enum class ReportKind { handover, day };

// What the caller knows beyond the import folders: the heading, the source as it was seen,
// the batch's destinations that made no verified folder, and the batch's warnings.
struct ReportContext {
    ReportHeading heading;
    std::optional<ReportSource> source;
    std::vector<ReportDestination> unverified;
    std::vector<std::string> warnings;
    std::string cardState;
    // The preview helper; previews are left out when it is empty or not installed.
    std::filesystem::path thumbnailer = Thumbnailer::installed();

    // A destination's warnings, each said once however many destinations give it.
    void addWarnings(const std::vector<std::string>& more);
};

// A verified import folder as one destination of a report, named `name` (by default the path
// of the folder that holds it); from its receipt, read here or already read.
ReportDestination destinationOf(const std::filesystem::path& folder, std::string name = {});
ReportDestination destinationFrom(const std::filesystem::path& folder, const ImportReceipt& receipt,
                                  std::string name);

// Reads the receipt, the journal's camera and source, and the facts of every clip from the
// verified copy in `folder`, with previews when a helper is given (a warning says when it is not
// installed). Throws std::runtime_error, in the user's words, for a folder without a receipt;
// QuayError::cancelled when asked to stop.
ImportReport readImportReport(const std::filesystem::path& folder,
                              const CancellationFlag& cancellation,
                              const Thumbnailer* previews = nullptr);

// A verified import folder of a batch, and the name of the destination it was made in.
struct BatchFolder {
    std::filesystem::path folder;
    std::string destination;
};

// The report of a batch, written into each of its verified import folders (the first is the
// main copy, whose clips are read). Returns what could not be written, in the user's words;
// throws only QuayError::cancelled.
std::vector<std::string> writeBatchReport(const std::vector<BatchFolder>& folders,
                                          const ReportContext& context,
                                          const CancellationFlag& cancellation);

// Writes the report documents of one import into its folder, durably; returns the PDF's path.
// Throws, in the user's words, when they cannot be made.
std::filesystem::path writeReport(const ImportReport& report, const ReportHeading& heading);

// One report over several imports, cards in time order: `base` with ".pdf", ".csv" and
// ".html". Returns the PDF's path.
std::filesystem::path writeDayReport(std::vector<ImportReport> imports,
                                     const ReportHeading& heading, std::filesystem::path base);

// RFC 4180: one header line and one line per file, CRLF line ends, UTF-8.
std::string reportCsv(const std::vector<ImportReport>& imports);

} // namespace quaymark::report
