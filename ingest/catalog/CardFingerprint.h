// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/ImportRecords.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quaymark::catalog {

// What a card's listing says of one file; its data is never read.
struct CardFile {
    std::string relative; // as the card names it, raw bytes
    std::int64_t bytes = 0;
    std::optional<Timestamp> modified;

    bool operator==(const CardFile&) const = default;
};

// A card as the catalog knows it, from metadata only.
struct CardIdentity {
    std::optional<std::string> volumeUuid;
    std::optional<std::string> label;
    std::optional<std::int64_t> capacity;
    // The reader or drive the card sat in: its serial or device path.
    std::optional<std::string> reader;
    // SHA-256 over the sorted (relative path, size, modification time) of the planned files.
    std::string listing;
    std::int64_t fileCount = 0;

    // One text for all of the above: equal only for the same card holding the same files.
    std::string fingerprint() const;
};

std::vector<CardFile> cardFiles(const std::vector<SourceFile>& plan);
// The card's side of what a receipt lists; files without their card path are left out.
std::vector<CardFile> cardFiles(const std::vector<FileReceipt>& receipt);

// The listing digest of CardIdentity; the order of `files` does not matter.
std::string listingDigest(std::vector<CardFile> files);

// The text a file time is kept and compared in: whole seconds, as receipts keep it.
std::string modifiedText(const std::optional<Timestamp>& modified);

} // namespace quaymark::catalog
