#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"

struct sqlite3;
struct sqlite3_stmt;

// A thin owner of SQLite's handles for the text index: a connection and its prepared statements,
// each closed by its destructor (never throwing). Failures throw SqliteError, which keeps SQLite's
// primary result code, so that a caller tells a damaged or foreign file (SQLITE_CORRUPT,
// SQLITE_NOTADB) from a busy or unwritable one. sqlite3.h stays inside Sqlite.cpp.
namespace zv {

class SqliteError : public Error {
public:
    SqliteError(const std::string &message, int code) : Error(message), code_(code) {}
    // SQLite's primary result code (the low byte of the extended one).
    int code() const { return code_; }
    // The file is not a database, or a damaged one.
    bool damaged() const;
    // The file is no SQLite database at all.
    bool notADatabase() const;

private:
    int code_;
};

class SqliteStatement;

class SqliteDb {
public:
    enum class Mode { ReadOnly, ReadWriteCreate };
    // Opens a native path; a missing file is created only in ReadWriteCreate. Waits up to
    // busyMs for a lock another connection holds. Throws SqliteError.
    SqliteDb(const std::string &nativeFile, Mode mode, int busyMs = 5000);
    ~SqliteDb();
    SqliteDb(const SqliteDb &) = delete;
    SqliteDb &operator=(const SqliteDb &) = delete;

    // Runs one or more statements that return nothing wanted.
    void exec(const std::string &sql);
    // The first column of the first row of a query; nullopt when it returns no row.
    std::optional<int64_t> queryInt(const std::string &sql);
    int64_t lastInsertRowid() const;
    sqlite3 *handle() const { return db_; }
    // Throws SqliteError "<what>: <SQLite's message>" for a result code that is no success.
    void check(int rc, const char *what) const;

private:
    sqlite3 *db_ = nullptr;
};

// One prepared statement, reset and reused: bind, step while it gives rows, read columns.
class SqliteStatement {
public:
    SqliteStatement(SqliteDb &db, const std::string &sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    // Parameters count from 1, as in SQLite.
    SqliteStatement &bind(int index, int64_t value);
    SqliteStatement &bind(int index, double value);
    SqliteStatement &bind(int index, std::string_view text);
    SqliteStatement &bindBlob(int index, const void *data, size_t size);
    SqliteStatement &bindNull(int index);
    // True while a row is there; false when done. Throws SqliteError.
    bool step();
    // Steps a statement that returns no row, then resets it.
    void run();
    void reset();

    bool isNull(int column) const;
    int64_t integer(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    std::string blob(int column) const;

private:
    SqliteDb &db_;
    sqlite3_stmt *stmt_ = nullptr;
};

}  // namespace zv
