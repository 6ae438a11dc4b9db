// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CardFingerprint.h"
#include "SqliteDatabase.h"
#include "ingest/records/ImportRecords.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quaymark::catalog {

// Where a copy was written: the volume and the physical drive beneath it.
struct DestinationIdentity {
    std::optional<std::string> volumeUuid;
    std::string label;
    std::optional<std::string> serial;
    std::optional<std::string> wwn;
    std::optional<std::string> model;
    // What makes two copies count as one drive: the drive's WWN or serial, else the volume
    // UUID, else whatever the caller knows (the mount).
    std::string driveKey;
};

// One verified import folder, as written into the catalog.
struct CopyRecord {
    CardIdentity card;
    std::string source;
    Timestamp started;
    Timestamp finished;
    ImportOptions options;
    std::string host;
    std::filesystem::path folder;
    DestinationIdentity destination;
    // When its files were last read back and found to match.
    Timestamp verified;
    std::vector<FileReceipt> files;
};

// A copy as the catalog lists it.
struct CatalogCopy {
    std::filesystem::path folder;
    std::string destinationLabel;
    std::string driveKey;
    Timestamp importStarted;
    Timestamp importFinished;
    Timestamp verified;
    // Set when a later check found the copy no longer holds what its receipt lists.
    std::optional<std::string> checkFailed;
    std::optional<std::string> cardLabel;
    std::optional<std::string> camera;
};

// A file of a copy; `copy` indexes the copies it came with.
struct CopiedFile {
    std::size_t copy = 0;
    CardFile card;
    std::string output;
    std::string sha256;
    std::optional<std::string> xxh128;
};

struct CatalogFiles {
    std::vector<CatalogCopy> copies;
    std::vector<CopiedFile> files;
};

// One file as the card held it, with every copy of it: indexes into CatalogFiles::files.
struct FoundFile {
    std::vector<std::size_t> copies;
};

// The files of `found` by card path and content, in the order they first appear.
std::vector<FoundFile> filesByContent(const CatalogFiles& found);

// The memory of every import: SQLite in WAL mode, one transaction per copy. It is a cache of
// what the import folders prove; a scan of the drives rebuilds it.
class Catalog {
public:
    // "catalog.sqlite3" in the data folder ($XDG_DATA_HOME, else ~/.local/share).
    static std::filesystem::path defaultFile();

    // Opens or creates the file and brings its schema up to date. A catalog from a newer
    // build, or one this user cannot write, is opened read-only. Throws DatabaseError.
    explicit Catalog(const std::filesystem::path& file);

    // Why nothing can be written, in the user's words; empty when writable.
    const std::string& readOnlyReason() const { return readOnlyReason_; }

    // Adds a copy, or replaces what was known of its folder.
    void record(const CopyRecord& copy);
    // Notes a later read-back of a copy; false when the folder is not catalogued.
    bool recordCheck(const std::filesystem::path& folder, Timestamp when,
                     const std::optional<std::string>& failure);

    // Every copy of imports from the same card: the same volume, or the same label and
    // capacity, or, for a source without a volume, the same folder. Failed copies included.
    CatalogFiles history(const CardIdentity& card, const std::string& source);
    // Files whose name, camera or card label hold every word of `text`, whose hash starts with
    // it, or whose import began on that date (YYYY-MM-DD). At most `limit` files.
    CatalogFiles find(const std::string& text, int limit = 200);
    // Every copy of the files with this SHA-256 or XXH3-128 prefix, or with this card path.
    CatalogFiles where(const std::string& hashOrPath, int limit = 200);

private:
    void requireWritable() const;
    std::int64_t cardId(const CardIdentity& card);
    std::int64_t importId(std::int64_t card, const CopyRecord& copy);
    std::int64_t destinationId(const DestinationIdentity& destination);
    void forget(const std::filesystem::path& folder);
    CatalogFiles select(const std::string& where,
                        const std::vector<std::optional<std::string>>& values, int limit);

    std::optional<SqliteDatabase> database_;
    std::string readOnlyReason_;
};

} // namespace quaymark::catalog
