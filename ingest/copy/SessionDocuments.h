// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/ImportRecords.h"

#include <filesystem>

namespace quaymark {

// Writes the recovery journal of an import folder durably.
void saveSession(const SessionRecord& record, const std::filesystem::path& folder);

namespace ImportEngine {
// Reads an import folder's recovery journal; refuses one too large to read safely before any
// byte of it is read. Open, read and decoding errors pass through.
SessionRecord readSession(const std::filesystem::path& folder);
} // namespace ImportEngine

namespace ImportEngine {
// Marks an import folder's journal and marker as interrupted with `description`, for a run
// that is left behind stuck in a write and cannot do it itself.
void markInterrupted(const std::filesystem::path& folder, const std::string& description);
} // namespace ImportEngine

// Reads a whole small document, refusing one over `limit` bytes with QuayError::unavailable.
std::string readDocument(const std::filesystem::path& path, std::int64_t limit,
                         const std::string& tooLargeMessage);

} // namespace quaymark
