#include "container/TextIndexSchema.h"

#include "container/Sqlite.h"

namespace zv::textindex {

void createSchema(SqliteDb &db) {
    db.exec(
        "BEGIN;"
        "PRAGMA application_id = " +
        std::to_string(kApplicationId) +
        ";"
        "PRAGMA user_version = " +
        std::to_string(kSchemaVersion) +
        ";"
        "CREATE TABLE meta(key TEXT PRIMARY KEY, value) WITHOUT ROWID;"
        "CREATE TABLE lines(id INTEGER PRIMARY KEY, frame INTEGER NOT NULL, left_frame INTEGER,"
        " x INTEGER NOT NULL, y INTEGER NOT NULL, width INTEGER NOT NULL,"
        " height INTEGER NOT NULL, text TEXT NOT NULL, confidence REAL NOT NULL,"
        " norm TEXT NOT NULL, now_x INTEGER, now_y INTEGER, now_width INTEGER,"
        " now_height INTEGER);"
        "CREATE INDEX lines_frame ON lines(frame);"
        "CREATE INDEX lines_standing ON lines(frame) WHERE left_frame IS NULL;"
        "CREATE VIRTUAL TABLE lines_text USING fts5(norm, content='lines', content_rowid='id',"
        " tokenize='trigram');"
        "INSERT INTO meta VALUES('frames', 0), ('failed_frames', 0);"
        "COMMIT;");
}

std::string schemaProblem(SqliteDb &db, const std::string &path) {
    const int64_t application = db.queryInt("PRAGMA application_id").value_or(0);
    const int64_t version = db.queryInt("PRAGMA user_version").value_or(0);
    if (application != kApplicationId || version != kSchemaVersion)
        return "Файл \"" + path + "\" не является индексом текста этой версии";
    return {};
}

RecordingMark readMark(SqliteDb &db) {
    RecordingMark mark;
    SqliteStatement s(db, "SELECT key, value FROM meta");
    while (s.step()) {
        const std::string key = s.text(0);
        if (key == "frames")
            mark.frames = static_cast<int32_t>(s.integer(1));
        else if (key == "first_entry")
            mark.firstEntry = s.blob(1);
        else if (key == "last_entry")
            mark.lastEntry = s.blob(1);
        else if (key == "first_frame_hash")
            mark.firstFrameHash = static_cast<uint64_t>(s.integer(1));
    }
    return mark;
}

int64_t readFailedFrames(SqliteDb &db) {
    return db.queryInt("SELECT value FROM meta WHERE key = 'failed_frames'").value_or(0);
}

std::string damagedText(const std::string &path, const SqliteError &e) {
    if (!e.damaged())  // busy, unreadable, a read-only folder for its journal
        return e.what();
    return "Индекс текста \"" + path + "\" поврежден" +
           (e.notADatabase() ? " (это не база данных SQLite)" : "");
}

std::string otherRecordingText(const std::string &path) {
    return "Индекс текста \"" + path + "\" сделан для другой записи";
}

}  // namespace zv::textindex
