// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SqliteDatabase.h"

namespace quaymark::catalog {

// The schema version this build writes.
inline constexpr std::int64_t catalogSchemaVersion = 1;

// Brings a catalog from its `PRAGMA user_version` up to catalogSchemaVersion, one migration
// per transaction; returns false, changing nothing, when the file comes from a newer build.
bool migrateCatalog(SqliteDatabase& database);

} // namespace quaymark::catalog
