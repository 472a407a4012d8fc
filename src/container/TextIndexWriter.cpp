// The writer of the text index (TextIndex.h).
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "container/Sqlite.h"
#include "container/TextIndex.h"
#include "container/TextIndexSchema.h"
#include "platform/DateTime.h"
#include "platform/Error.h"

namespace zv {

struct TextIndexWriter::Db {
    explicit Db(const std::string &path) : db(path, SqliteDb::Mode::ReadWriteCreate) {}
    SqliteDb db;
    std::unique_ptr<SqliteStatement> insertLine, insertText, setLeft, setMeta, moveLine;

    void prepare() {
        insertLine = std::make_unique<SqliteStatement>(
            db,
            "INSERT INTO lines(frame, x, y, width, height, text, confidence, norm) "
            "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
        insertText = std::make_unique<SqliteStatement>(
            db, "INSERT INTO lines_text(rowid, norm) VALUES(?1, ?2)");
        setLeft =
            std::make_unique<SqliteStatement>(db, "UPDATE lines SET left_frame = ?2 WHERE id = ?1");
        moveLine = std::make_unique<SqliteStatement>(
            db,
            "UPDATE lines SET now_x = ?2, now_y = ?3, now_width = ?4, now_height = ?5 "
            "WHERE id = ?1");
        setMeta = std::make_unique<SqliteStatement>(
            db, "INSERT OR REPLACE INTO meta(key, value) VALUES(?1, ?2)");
    }
};

namespace {

// Takes the lock of fd, waiting up to kLockWaitMs for a holder of a moment (a viewer that takes
// it for an instant to learn whether someone writes the index); a writer holds it longer.
constexpr int kLockWaitMs = 1000;

void takeLock(int fd, const std::string &path) {
    for (int waited = 0;; waited += 20) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return;
        if (errno != EWOULDBLOCK)
            throw Error(
                systemErrorText("Не удается заблокировать индекс текста \"" + path + "\"", errno));
        if (waited >= kLockWaitMs)
            throw Error("Индекс текста \"" + path + "\" уже строится другим процессом");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Opens (creating) the index file and takes its lock; the descriptor holds the lock. Retries when
// the file was set aside between the open and the lock.
UniqueFd lockIndex(const std::string &path) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        UniqueFd fd = openFile(path, O_RDWR | O_CREAT | O_NOFOLLOW, 0644);
        takeLock(fd.get(), path);
        struct stat held {
        }, named{};
        if (::fstat(fd.get(), &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            return fd;
    }
    throw Error("Индекс текста \"" + path + "\" заменяется другим процессом");
}

// "<path>_<YYYYMMDD>_<hhmmss><suffix>[_N]" that does not exist yet.
std::string asideName(const std::string &path, const std::string &suffix, int number) {
    const DateTimeFields f = decodeDateTime(nowDateTime());
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "_%04d%02d%02d_%02d%02d%02d", f.year, f.month, f.day, f.hour,
                  f.minute, f.second);
    std::string name = path;
    name.append(stamp).append(suffix);
    if (number > 1)
        name.append("_").append(std::to_string(number));
    return name;
}

// Renames from to to without replacing anything; false when to exists.
bool renameNoReplace(const std::string &from, const std::string &to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    throw Error(systemErrorText("Не удается отложить индекс текста \"" + from + "\"", errno));
}

}  // namespace

TextIndexWriter::TextIndexWriter(const std::string &nativeRecording, RandomFile &recording,
                                 Warning warning)
    : recordingName_(nativeRecording),
      path_(textIndexPath(nativeRecording)),
      warning_(std::move(warning)) {
    lock_ = lockIndex(path_);
    openChecked(recording);
}

TextIndexWriter::~TextIndexWriter() {
    try {
        rollback();
    } catch (...) {
    }
    db_.reset();  // before the lock's descriptor closes
}

void TextIndexWriter::openChecked(RandomFile &recording) {
    for (int attempt = 0;; ++attempt) {
        std::string problem, suffix = "_damaged";
        try {
            db_ = std::make_unique<Db>(path_);
            SqliteDb &db = db_->db;
            if (db.queryInt("SELECT count(*) FROM sqlite_master").value_or(0) == 0 &&
                db.queryInt("PRAGMA application_id").value_or(0) == 0)
                textindex::createSchema(db);
            problem = textindex::schemaProblem(db, path_);
            if (problem.empty()) {
                SqliteStatement check(db, "PRAGMA quick_check");
                if (check.step() && check.text(0) != "ok")
                    problem = "Индекс текста \"" + path_ + "\" поврежден: " + check.text(0);
            }
            if (problem.empty() && !recordingMatches(recording, textindex::readMark(db))) {
                problem = textindex::otherRecordingText(path_);
                suffix = "_other";
            }
            if (problem.empty()) {
                db.exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;");
                db_->prepare();
                indexed_ = textindex::readMark(db).frames;
                failed_ = textindex::readFailedFrames(db);
                return;
            }
        } catch (const SqliteError &e) {
            if (!e.damaged() || attempt > 0)
                throw;
            problem = textindex::damagedText(path_, e);
        }
        if (attempt > 0)
            throw Error(problem);
        setAside(problem, suffix);
    }
}

bool TextIndexWriter::moveIndex(const std::string &to) {
    db_.reset();
    if (!renameNoReplace(path_, to))
        return false;
    // The journal of the index moved belongs to it; its shared memory is rebuilt from the
    // journal by whoever opens it.
    struct stat st {};
    if (::lstat((path_ + "-wal").c_str(), &st) == 0)
        ::rename((path_ + "-wal").c_str(), (to + "-wal").c_str());
    ::unlink((path_ + "-shm").c_str());
    lock_.reset();
    lock_ = lockIndex(path_);
    indexed_ = 0;
    failed_ = 0;
    return true;
}

void TextIndexWriter::setAside(const std::string &why, const std::string &suffix) {
    for (int number = 1;; ++number) {
        const std::string aside = asideName(path_, suffix, number);
        if (moveIndex(aside)) {
            if (warning_)
                warning_(why + "; он отложен как \"" + aside + "\" и строится заново");
            return;
        }
    }
}

std::vector<StandingLine> TextIndexWriter::standingLines() {
    std::vector<StandingLine> lines;
    SqliteStatement s(db_->db,
                      "SELECT id, frame, coalesce(now_x, x), coalesce(now_y, y), "
                      "coalesce(now_width, width), coalesce(now_height, height), text FROM lines "
                      "WHERE left_frame IS NULL ORDER BY frame, id");
    while (s.step()) {
        StandingLine l;
        l.id = s.integer(0);
        l.firstFrame = static_cast<int32_t>(s.integer(1));
        l.box = {static_cast<int>(s.integer(2)), static_cast<int>(s.integer(3)),
                 static_cast<int>(s.integer(4)), static_cast<int>(s.integer(5))};
        l.text = s.text(6);
        lines.push_back(std::move(l));
    }
    return lines;
}

void TextIndexWriter::begin() {
    if (!inTransaction_) {
        db_->db.exec("BEGIN IMMEDIATE");
        inTransaction_ = true;
    }
}

int64_t TextIndexWriter::addLine(int32_t frame, const TextLine &line) {
    const std::string form = searchForm(line.text);
    db_->insertLine->bind(1, int64_t{frame})
        .bind(2, int64_t{line.box.x})
        .bind(3, int64_t{line.box.y})
        .bind(4, int64_t{line.box.width})
        .bind(5, int64_t{line.box.height})
        .bind(6, std::string_view(line.text))
        .bind(7, double{line.confidence})
        .bind(8, std::string_view(form))
        .run();
    const int64_t id = db_->db.lastInsertRowid();
    db_->insertText->bind(1, id).bind(2, std::string_view(form)).run();
    return id;
}

void TextIndexWriter::setLeft(int64_t id, int32_t leftFrame) {
    db_->setLeft->bind(1, id).bind(2, int64_t{leftFrame}).run();
}

void TextIndexWriter::moveLine(int64_t id, const TextBox &now) {
    db_->moveLine->bind(1, id)
        .bind(2, int64_t{now.x})
        .bind(3, int64_t{now.y})
        .bind(4, int64_t{now.width})
        .bind(5, int64_t{now.height})
        .run();
}

void TextIndexWriter::setIndexed(const RecordingMark &mark, int64_t failedFrames) {
    SqliteStatement &s = *db_->setMeta;
    s.bind(1, std::string_view("frames")).bind(2, int64_t{mark.frames}).run();
    s.bind(1, std::string_view("failed_frames")).bind(2, failedFrames).run();
    s.bind(1, std::string_view("first_entry"))
        .bindBlob(2, mark.firstEntry.data(), mark.firstEntry.size())
        .run();
    s.bind(1, std::string_view("last_entry"))
        .bindBlob(2, mark.lastEntry.data(), mark.lastEntry.size())
        .run();
    s.bind(1, std::string_view("first_frame_hash"))
        .bind(2, static_cast<int64_t>(mark.firstFrameHash))
        .run();
    indexed_ = mark.frames;
    failed_ = failedFrames;
}

void TextIndexWriter::commit() {
    if (inTransaction_) {
        db_->db.exec("COMMIT");
        inTransaction_ = false;
    }
}

void TextIndexWriter::rollback() {
    if (inTransaction_) {
        inTransaction_ = false;
        db_->db.exec("ROLLBACK");
        indexed_ = textindex::readMark(db_->db).frames;
        failed_ = textindex::readFailedFrames(db_->db);
    }
}

void TextIndexWriter::startOver(RandomFile &recording, const std::string &movedTo) {
    rollback();
    const std::string to = movedTo.empty() ? std::string() : textIndexPath(movedTo);
    if (!to.empty() && moveIndex(to)) {
        if (warning_)
            warning_("Запись \"" + recordingName_ + "\" переименована в \"" + movedTo +
                     "\": ее индекс текста перенесен в \"" + to + "\", новый строится заново");
    } else {
        setAside(textindex::otherRecordingText(path_), "_other");
    }
    openChecked(recording);
}

}  // namespace zv
