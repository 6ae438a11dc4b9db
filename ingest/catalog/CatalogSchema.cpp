// SPDX-License-Identifier: GPL-3.0-or-later
#include "CatalogSchema.h"

#include <array>
#include <string>

namespace quaymark::catalog {

namespace {

// Each entry takes the schema from its index to the next version. Entries are never edited
// once released: a change is a new entry.
constexpr std::array<const char*, catalogSchemaVersion> migrations = {
    R"(
CREATE TABLE cards(
    id INTEGER PRIMARY KEY,
    fingerprint TEXT NOT NULL UNIQUE,
    volume_uuid TEXT, label TEXT, capacity INTEGER, reader TEXT,
    listing TEXT NOT NULL, file_count INTEGER NOT NULL);
CREATE INDEX cards_by_volume ON cards(volume_uuid);
CREATE INDEX cards_by_label ON cards(label, capacity);
CREATE TABLE imports(
    id INTEGER PRIMARY KEY,
    card_id INTEGER NOT NULL REFERENCES cards(id),
    source TEXT NOT NULL, started TEXT NOT NULL, finished TEXT NOT NULL,
    videos_only INTEGER NOT NULL, folder_rule TEXT NOT NULL, camera TEXT,
    host TEXT NOT NULL, result TEXT NOT NULL);
CREATE INDEX imports_by_card ON imports(card_id);
CREATE TABLE drives(
    id INTEGER PRIMARY KEY, identity TEXT NOT NULL UNIQUE, serial TEXT, wwn TEXT, model TEXT);
CREATE TABLE destinations(
    id INTEGER PRIMARY KEY, identity TEXT NOT NULL UNIQUE, volume_uuid TEXT,
    label TEXT NOT NULL, drive_id INTEGER NOT NULL REFERENCES drives(id));
CREATE TABLE copies(
    id INTEGER PRIMARY KEY,
    import_id INTEGER NOT NULL REFERENCES imports(id),
    destination_id INTEGER NOT NULL REFERENCES destinations(id),
    folder TEXT NOT NULL UNIQUE, verified TEXT NOT NULL, check_failed TEXT);
CREATE INDEX copies_by_import ON copies(import_id);
CREATE TABLE files(
    id INTEGER PRIMARY KEY,
    copy_id INTEGER NOT NULL REFERENCES copies(id),
    relative TEXT NOT NULL, output TEXT NOT NULL, size INTEGER NOT NULL, modified TEXT,
    sha256 TEXT NOT NULL, xxh128 TEXT);
CREATE INDEX files_by_copy ON files(copy_id);
CREATE INDEX files_by_sha256 ON files(sha256);
CREATE INDEX files_by_xxh128 ON files(xxh128);
CREATE VIRTUAL TABLE file_words USING fts5(name, camera, label);
)",
};

} // namespace

bool migrateCatalog(SqliteDatabase& database) {
    for (;;) {
        // Read inside the transaction: another process may be migrating the same file.
        Transaction transaction(database);
        const std::int64_t version = database.integer("PRAGMA user_version");
        if (version > catalogSchemaVersion) {
            return false;
        }
        if (version == catalogSchemaVersion) {
            transaction.commit();
            return true;
        }
        database.execute(migrations[static_cast<std::size_t>(version)]);
        database.execute("PRAGMA user_version = " + std::to_string(version + 1));
        transaction.commit();
    }
}

} // namespace quaymark::catalog
