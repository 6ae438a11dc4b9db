// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace quaymark::catalog {

// A failed SQLite call; what() holds SQLite's own words.
struct DatabaseError : std::runtime_error {
    DatabaseError(const std::string& what, int result)
        : std::runtime_error(what)
        , code(result) {}
    int code;
};

// One prepared statement, finalized when it goes. Parameters count from 1, columns from 0.
class Statement {
public:
    Statement(sqlite3* database, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::string_view text);
    Statement& bind(int index, const std::string& text) {
        return bind(index, std::string_view(text));
    }
    Statement& bind(int index, const char* text) { return bind(index, std::string_view(text)); }
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, const std::optional<std::string>& text);
    Statement& bind(int index, const std::optional<std::int64_t>& value);
    int parameterCount() const;
    // True while a row is there to read; false once the statement is done.
    bool step();
    // Runs to the end and makes the statement ready for new bindings.
    void run();
    void reset();

    std::string text(int column) const;
    std::optional<std::string> optionalText(int column) const;
    std::int64_t integer(int column) const;
    std::optional<std::int64_t> optionalInteger(int column) const;

private:
    void check(int result) const;
    Statement& bindNull(int index);

    sqlite3* database_;
    sqlite3_stmt* statement_ = nullptr;
};

// An open SQLite connection; closed when it goes.
class SqliteDatabase {
public:
    enum class Access { readWrite, readOnly };

    // Creates the file when writing and it does not exist yet.
    SqliteDatabase(const std::filesystem::path& file, Access access);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    void execute(std::string_view sql);
    Statement prepare(std::string_view sql) { return Statement(database_, sql); }
    std::int64_t lastInsertId() const;
    // One integer a query such as "PRAGMA user_version" answers.
    std::int64_t integer(std::string_view sql);
    Access access() const { return access_; }

private:
    sqlite3* database_ = nullptr;
    Access access_;
};

// BEGIN IMMEDIATE, so that a second writer waits at the start rather than failing midway;
// rolled back unless committed.
class Transaction {
public:
    explicit Transaction(SqliteDatabase& database);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    SqliteDatabase& database_;
    bool open_ = true;
};

} // namespace quaymark::catalog
