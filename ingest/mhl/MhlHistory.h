// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/CancellationFlag.h"
#include "ingest/records/ImportRecords.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quaymark::AscMhl {

// A source's own history at its root is carried by writeHistory, not planned as media: the
// copy's history gains a generation, so its files cannot stay as they were read.
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

// Writes the import folder's ascmhl/ history durably: the source's generations as they were,
// then, when asked, this transfer's manifest and a chain file listing them all. Returns what
// the job should tell the user (files that disagree with the card's own history, a history
// that could not be read or written).
std::vector<std::string> writeHistory(const HistoryRequest& request,
                                      const CancellationFlag& cancellation);

struct RecordedHistory {
    // The latest XXH3-128 recorded for each path.
    std::map<std::string, std::string> xxh128;
    // Generations whose bytes do not match the C4 ID the chain gives them.
    std::vector<std::string> altered;
};

// What a folder's history records; nothing when the folder has none. Unreadable documents
// throw.
std::optional<RecordedHistory> readHistory(const std::filesystem::path& folder);

} // namespace quaymark::AscMhl
