// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/ImportRecords.h"

#include <filesystem>
#include <string>
#include <vector>

namespace quaymark {

// Keeps one import's recovery journal and saves it durably. The journal is rewritten after
// every completed file and grows with the import, so each receipt and each map is encoded once
// and its text reused; the saved document is the same as a fresh encoding of the record.
class JournalWriter {
public:
    JournalWriter(SessionRecord record, std::filesystem::path folder);

    const SessionRecord& record() const { return record_; }

    void addCompleted(FileReceipt receipt);
    void clearCompleted();
    void setStatus(std::string_view status, std::optional<std::string> failure = std::nullopt);
    void setPlannedFiles(std::map<std::string, std::int64_t> planned);
    void setPartialFile(const std::string& relative, std::string partialName);

    std::string encode() const;
    void save() const;

private:
    SessionRecord record_;
    std::filesystem::path folder_;
    std::vector<std::string> completedTexts_;
    // The partial names change only while a run prepares; encoded at the next save.
    mutable std::string partialFilesText_;
    mutable bool partialFilesStale_ = true;
    std::string plannedFilesText_;
};

} // namespace quaymark
