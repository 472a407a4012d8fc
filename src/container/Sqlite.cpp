#include "container/Sqlite.h"

#include <sqlite3.h>

namespace zv {

bool SqliteError::damaged() const {
    return code_ == SQLITE_CORRUPT || code_ == SQLITE_NOTADB;
}

bool SqliteError::notADatabase() const {
    return code_ == SQLITE_NOTADB;
}

SqliteDb::SqliteDb(const std::string &nativeFile, Mode mode, int busyMs) {
    const int flags = (mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY
                                              : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                      SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
    const int rc = sqlite3_open_v2(nativeFile.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw SqliteError("Не удается открыть индекс текста \"" + nativeFile + "\": " + message,
                          rc & 0xff);
    }
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_busy_timeout(db_, busyMs);
}

SqliteDb::~SqliteDb() {
    sqlite3_close_v2(db_);
}

void SqliteDb::check(int rc, const char *what) const {
    if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
        return;
    throw SqliteError(std::string(what) + ": " + sqlite3_errmsg(db_), rc & 0xff);
}

void SqliteDb::exec(const std::string &sql) {
    char *message = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const std::string text = message ? message : sqlite3_errstr(rc);
        sqlite3_free(message);
        throw SqliteError("Ошибка индекса текста: " + text, rc & 0xff);
    }
}

std::optional<int64_t> SqliteDb::queryInt(const std::string &sql) {
    SqliteStatement s(*this, sql);
    if (!s.step())
        return std::nullopt;
    return s.integer(0);
}

int64_t SqliteDb::lastInsertRowid() const {
    return sqlite3_last_insert_rowid(db_);
}

SqliteStatement::SqliteStatement(SqliteDb &db, const std::string &sql) : db_(db) {
    db_.check(sqlite3_prepare_v3(db.handle(), sql.c_str(), static_cast<int>(sql.size()),
                                 SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr),
              "Ошибка индекса текста");
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(stmt_);
}

SqliteStatement &SqliteStatement::bind(int index, int64_t value) {
    db_.check(sqlite3_bind_int64(stmt_, index, value), "Ошибка индекса текста");
    return *this;
}

SqliteStatement &SqliteStatement::bind(int index, double value) {
    db_.check(sqlite3_bind_double(stmt_, index, value), "Ошибка индекса текста");
    return *this;
}

SqliteStatement &SqliteStatement::bind(int index, std::string_view text) {
    db_.check(
        sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8),
        "Ошибка индекса текста");
    return *this;
}

SqliteStatement &SqliteStatement::bindBlob(int index, const void *data, size_t size) {
    db_.check(sqlite3_bind_blob64(stmt_, index, data, size, SQLITE_TRANSIENT),
              "Ошибка индекса текста");
    return *this;
}

SqliteStatement &SqliteStatement::bindNull(int index) {
    db_.check(sqlite3_bind_null(stmt_, index), "Ошибка индекса текста");
    return *this;
}

bool SqliteStatement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    sqlite3_reset(stmt_);
    db_.check(rc, "Ошибка индекса текста");
    return false;
}

void SqliteStatement::run() {
    while (step()) {
    }
    reset();
}

void SqliteStatement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

bool SqliteStatement::isNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

int64_t SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

double SqliteStatement::real(int column) const {
    return sqlite3_column_double(stmt_, column);
}

std::string SqliteStatement::text(int column) const {
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt_, column));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)))
             : std::string();
}

std::string SqliteStatement::blob(int column) const {
    const auto *p = static_cast<const char *>(sqlite3_column_blob(stmt_, column));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)))
             : std::string();
}

}  // namespace zv
