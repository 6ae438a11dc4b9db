// SPDX-License-Identifier: GPL-3.0-or-later
#include "SqliteDatabase.h"

#include <sqlite3.h>

namespace quaymark::catalog {

namespace {

[[noreturn]] void fail(sqlite3* database, int code) {
    throw DatabaseError(database ? sqlite3_errmsg(database) : sqlite3_errstr(code), code);
}

} // namespace

Statement::Statement(sqlite3* database, std::string_view sql)
    : database_(database) {
    const int result = sqlite3_prepare_v2(database, sql.data(), static_cast<int>(sql.size()),
                                          &statement_, nullptr);
    if (result != SQLITE_OK) {
        fail(database, result);
    }
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

void Statement::check(int result) const {
    if (result != SQLITE_OK) {
        fail(database_, result);
    }
}

Statement& Statement::bind(int index, std::string_view text) {
    check(sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT));
    return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
    check(sqlite3_bind_int64(statement_, index, value));
    return *this;
}

Statement& Statement::bindNull(int index) {
    check(sqlite3_bind_null(statement_, index));
    return *this;
}

Statement& Statement::bind(int index, const std::optional<std::string>& text) {
    return text ? bind(index, std::string_view(*text)) : bindNull(index);
}

Statement& Statement::bind(int index, const std::optional<std::int64_t>& value) {
    return value ? bind(index, *value) : bindNull(index);
}

int Statement::parameterCount() const {
    return sqlite3_bind_parameter_count(statement_);
}

bool Statement::step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) {
        return true;
    }
    if (result != SQLITE_DONE) {
        const int code = sqlite3_extended_errcode(database_);
        sqlite3_reset(statement_);
        fail(database_, code);
    }
    return false;
}

void Statement::run() {
    while (step()) {
    }
    reset();
}

void Statement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

std::string Statement::text(int column) const {
    const auto* bytes = sqlite3_column_text(statement_, column);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes),
                               static_cast<size_t>(sqlite3_column_bytes(statement_, column)))
                 : std::string();
}

std::optional<std::string> Statement::optionalText(int column) const {
    if (sqlite3_column_type(statement_, column) == SQLITE_NULL) {
        return std::nullopt;
    }
    return text(column);
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

std::optional<std::int64_t> Statement::optionalInteger(int column) const {
    if (sqlite3_column_type(statement_, column) == SQLITE_NULL) {
        return std::nullopt;
    }
    return integer(column);
}

SqliteDatabase::SqliteDatabase(const std::filesystem::path& file, Access access)
    : access_(access) {
    const int flags = access == Access::readOnly ? SQLITE_OPEN_READONLY
                                                 : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int result =
        sqlite3_open_v2(file.c_str(), &database_, flags | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (result != SQLITE_OK) {
        const std::string what = database_ ? sqlite3_errmsg(database_) : sqlite3_errstr(result);
        sqlite3_close(database_);
        throw DatabaseError(what, result);
    }
    sqlite3_extended_result_codes(database_, 1);
    // The application and the command write the same file; one waits for the other.
    sqlite3_busy_timeout(database_, 10'000);
}

SqliteDatabase::~SqliteDatabase() {
    sqlite3_close_v2(database_);
}

void SqliteDatabase::execute(std::string_view sql) {
    char* message = nullptr;
    const int result =
        sqlite3_exec(database_, std::string(sql).c_str(), nullptr, nullptr, &message);
    if (result != SQLITE_OK) {
        const std::string what = message ? message : sqlite3_errstr(result);
        sqlite3_free(message);
        throw DatabaseError(what, result);
    }
}

std::int64_t SqliteDatabase::lastInsertId() const {
    return sqlite3_last_insert_rowid(database_);
}

std::int64_t SqliteDatabase::integer(std::string_view sql) {
    Statement statement = prepare(sql);
    return statement.step() ? statement.integer(0) : 0;
}

Transaction::Transaction(SqliteDatabase& database)
    : database_(database) {
    database_.execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (open_) {
        try {
            database_.execute("ROLLBACK");
        } catch (const DatabaseError&) {
            // SQLite has rolled back already when a statement failed hard.
        }
    }
}

void Transaction::commit() {
    database_.execute("COMMIT");
    open_ = false;
}

} // namespace quaymark::catalog
