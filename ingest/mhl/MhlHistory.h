// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/CancellationFlag.h"
#include "ingest/records/ImportRecords.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaymark::AscMhl {

// True for the name of a history document inside an ascmhl/ folder: the chain, or a numbered
// manifest ("0001_A001_2025-03-01_093000Z.mhl").
bool isDocumentName(std::string_view name);
// The same for a path below the folder a history describes: a document of its ascmhl/.
bool isDocumentPath(std::string_view relative);

// A source's own history documents at its root are carried by writeHistory, not planned as
// media: the copy's history gains a generation, so they cannot stay as they were read. Every
// other file below ascmhl/ stays in the plan, and so does everything there when a document is
// too large to be one (such a history is not carried).
std::vector<SourceFile> withoutSourceHistory(std::vector<SourceFile> plan);

struct HistoryRequest {
    std::filesystem::path importFolder;
    // The source root whose history is carried (all-files mode only).
    std::optional<std::filesystem::path> sourceFolder;
    bool writeGeneration = true;
    // Every verified file, sorted by path.
    std::vector<FileReceipt> files;
    Timestamp now;
};

// Writes the import folder's ascmhl/ history durably: the source's documents as they were,
// then, when asked, this transfer's manifest and a chain file listing the source's generations
// that are present and intact, and this one. Never writes or removes a file the import copied.
// Returns what the job should tell the user (files that disagree with the card's own history,
// a history that could not be read, carried or written).
std::vector<std::string> writeHistory(const HistoryRequest& request,
                                      const CancellationFlag& cancellation);

struct RecordedHistory {
    // The latest XXH3-128 recorded for each path.
    std::map<std::string, std::string> xxh128;
    // Generations whose bytes do not match the C4 ID the chain gives them.
    std::vector<std::string> altered;
    // What keeps the history from being read whole, in words; the rest is still read.
    std::vector<std::string> problems;
};

// What a folder's history records; nothing when the folder has none.
std::optional<RecordedHistory> readHistory(const std::filesystem::path& folder);

} // namespace quaymark::AscMhl
