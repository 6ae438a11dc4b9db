// SPDX-License-Identifier: GPL-3.0-or-later
#include "Catalog.h"

#include "CatalogSchema.h"
#include "ingest/records/IsoDate.h"
#include "ingest/records/StoredText.h"

#include <unistd.h>

#include <cstdlib>

namespace fs = std::filesystem;

namespace quaymark::catalog {

namespace {

const char* const newerText =
    "This catalog was written by a newer version of Quaymark. It is open read-only.";
const char* const lockedText = "This catalog cannot be written by this user. It is open read-only.";

std::string fileName(const std::string& relative) {
    return fs::path(relative).filename().string();
}

} // namespace

fs::path Catalog::defaultFile() {
    fs::path base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
        base = data;
    } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
        base = fs::path(home) / ".local/share";
    } else {
        throw DatabaseError("No home folder is set, so there is no place for the catalog.", 0);
    }
    return base / "Brindleway Quaymark" / "catalog.sqlite3";
}

Catalog::Catalog(const fs::path& file) {
    std::error_code ignored;
    fs::create_directories(file.parent_path(), ignored);
    const bool writable = !fs::exists(file) || ::access(file.c_str(), W_OK) == 0;
    if (writable) {
        database_.emplace(file, SqliteDatabase::Access::readWrite);
        // WAL lets the application read while the command writes; FULL makes a committed
        // import survive a power cut, not only a crash.
        database_->execute("PRAGMA journal_mode = WAL");
        database_->execute("PRAGMA synchronous = FULL");
        database_->execute("PRAGMA foreign_keys = ON");
        if (migrateCatalog(*database_)) {
            return;
        }
    }
    readOnlyReason_ = writable ? newerText : lockedText;
    database_.emplace(file, SqliteDatabase::Access::readOnly);
}

void Catalog::requireWritable() const {
    if (!readOnlyReason_.empty()) {
        throw DatabaseError(readOnlyReason_, 0);
    }
}

std::int64_t Catalog::cardId(const CardIdentity& card) {
    const std::string fingerprint = card.fingerprint();
    Statement found = database_->prepare("SELECT id FROM cards WHERE fingerprint = ?");
    if (found.bind(1, fingerprint).step()) {
        return found.integer(0);
    }
    database_
        ->prepare("INSERT INTO cards(fingerprint, volume_uuid, label, capacity, reader, listing, "
                  "file_count) VALUES(?, ?, ?, ?, ?, ?, ?)")
        .bind(1, fingerprint)
        .bind(2, card.volumeUuid)
        .bind(3, card.label)
        .bind(4, card.capacity)
        .bind(5, card.reader)
        .bind(6, card.listing)
        .bind(7, card.fileCount)
        .run();
    return database_->lastInsertId();
}

// The destinations of one run start together: copies of one card from one source begun in the
// same second, or the next, are one import.
std::int64_t Catalog::importId(std::int64_t card, const CopyRecord& copy) {
    const std::string started = formatIsoDate(copy.started);
    Statement found =
        database_->prepare("SELECT id FROM imports WHERE card_id = ? AND source = ? "
                           "AND abs(unixepoch(started) - unixepoch(?)) <= 1 ORDER BY id LIMIT 1");
    if (found.bind(1, card).bind(2, storedText(copy.source)).bind(3, started).step()) {
        return found.integer(0);
    }
    database_
        ->prepare("INSERT INTO imports(card_id, source, started, finished, videos_only, "
                  "folder_rule, camera, host, result) VALUES(?, ?, ?, ?, ?, ?, ?, ?, 'verified')")
        .bind(1, card)
        .bind(2, storedText(copy.source))
        .bind(3, started)
        .bind(4, formatIsoDate(copy.finished))
        .bind(5, std::int64_t{copy.options.videosOnly})
        .bind(6, storedText(copy.options.folderRule))
        .bind(7, copy.options.cameraName)
        .bind(8, copy.host)
        .run();
    return database_->lastInsertId();
}

std::int64_t Catalog::destinationId(const DestinationIdentity& destination) {
    database_
        ->prepare("INSERT INTO drives(identity, serial, wwn, model) VALUES(?, ?, ?, ?) "
                  "ON CONFLICT(identity) DO UPDATE SET serial = excluded.serial, "
                  "wwn = excluded.wwn, model = excluded.model")
        .bind(1, destination.driveKey)
        .bind(2, destination.serial)
        .bind(3, destination.wwn)
        .bind(4, destination.model)
        .run();
    Statement drive = database_->prepare("SELECT id FROM drives WHERE identity = ?");
    drive.bind(1, destination.driveKey).step();
    const std::int64_t driveId = drive.integer(0);
    // A volume without a UUID is told apart by its label on its drive.
    const std::string identity = destination.volumeUuid
                                     ? "uuid:" + *destination.volumeUuid
                                     : "label:" + destination.label + "@" + destination.driveKey;
    database_
        ->prepare("INSERT INTO destinations(identity, volume_uuid, label, drive_id) "
                  "VALUES(?, ?, ?, ?) ON CONFLICT(identity) DO UPDATE SET "
                  "label = excluded.label, drive_id = excluded.drive_id")
        .bind(1, identity)
        .bind(2, destination.volumeUuid)
        .bind(3, storedText(destination.label))
        .bind(4, driveId)
        .run();
    Statement found = database_->prepare("SELECT id FROM destinations WHERE identity = ?");
    found.bind(1, identity).step();
    return found.integer(0);
}

void Catalog::forget(const fs::path& folder) {
    const std::string text = storedText(folder.string());
    database_
        ->prepare("DELETE FROM file_words WHERE rowid IN (SELECT files.id FROM files "
                  "JOIN copies ON copies.id = files.copy_id WHERE copies.folder = ?)")
        .bind(1, text)
        .run();
    database_
        ->prepare("DELETE FROM files WHERE copy_id IN (SELECT id FROM copies WHERE folder = ?)")
        .bind(1, text)
        .run();
    database_->prepare("DELETE FROM copies WHERE folder = ?").bind(1, text).run();
    database_->execute("DELETE FROM imports WHERE id NOT IN (SELECT import_id FROM copies)");
}

void Catalog::record(const CopyRecord& copy) {
    requireWritable();
    Transaction transaction(*database_);
    forget(copy.folder);
    const std::int64_t card = cardId(copy.card);
    const std::int64_t import = importId(card, copy);
    database_
        ->prepare("INSERT INTO copies(import_id, destination_id, folder, verified) "
                  "VALUES(?, ?, ?, ?)")
        .bind(1, import)
        .bind(2, destinationId(copy.destination))
        .bind(3, storedText(copy.folder.string()))
        .bind(4, formatIsoDate(copy.verified))
        .run();
    const std::int64_t copyId = database_->lastInsertId();

    Statement file = database_->prepare(
        "INSERT INTO files(copy_id, relative, output, size, modified, sha256, xxh128) "
        "VALUES(?, ?, ?, ?, ?, ?, ?)");
    Statement words =
        database_->prepare("INSERT INTO file_words(rowid, name, camera, label) VALUES(?, ?, ?, ?)");
    for (const auto& receipt : copy.files) {
        const std::string relative = storedText(receipt.sourcePath.value_or(receipt.path));
        const std::optional<std::string> modified =
            receipt.sourceModified ? std::optional(formatIsoDate(*receipt.sourceModified))
                                   : std::nullopt;
        file.bind(1, copyId)
            .bind(2, relative)
            .bind(3, storedText(receipt.path))
            .bind(4, receipt.bytes)
            .bind(5, modified)
            .bind(6, receipt.sha256)
            .bind(7, receipt.xxh128)
            .run();
        words.bind(1, database_->lastInsertId())
            .bind(2, relative + " " + storedText(fileName(receipt.path)))
            .bind(3, copy.options.cameraName)
            .bind(4, copy.card.label)
            .run();
    }
    transaction.commit();
}

bool Catalog::recordCheck(const fs::path& folder, Timestamp when,
                          const std::optional<std::string>& failure) {
    requireWritable();
    Statement update = database_->prepare(
        failure ? "UPDATE copies SET check_failed = ?2 WHERE folder = ?1"
                : "UPDATE copies SET verified = ?3, check_failed = NULL WHERE folder = ?1");
    update.bind(1, storedText(folder.string()));
    if (failure) {
        update.bind(2, *failure);
    } else {
        update.bind(3, formatIsoDate(when));
    }
    update.run();
    return database_->integer("SELECT changes()") > 0;
}

} // namespace quaymark::catalog
