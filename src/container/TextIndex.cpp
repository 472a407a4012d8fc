#include "container/TextIndex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "container/ChangeFinder.h"
#include "container/Sqlite.h"
#include "container/TextIndexSchema.h"
#include "container/ZVFConstants.h"
#include "container/ZVFFrameReader.h"
#include "platform/DateTime.h"
#include "platform/Error.h"

namespace zv {

std::string textIndexPath(const std::string &nativeRecording) {
    return nativeRecording + ".text";
}

namespace {

std::string rawEntry(RandomFile &recording, int32_t index) {
    std::string raw(static_cast<size_t>(zvf::kEntrySize), '\0');
    if (recording.readAt(raw.data(), raw.size(), zvf::entryPosition(index)) != raw.size())
        throw Error("Индекс кадров записи обрывается на кадре " + std::to_string(index));
    return raw;
}

// FNV-1a over the bytes of frame 0; 0 for a frame that cannot be read.
uint64_t firstFrameHash(RandomFile &recording) {
    TZVFFrameEntry entry;
    if (!zvf::readEntry(recording, 0, entry) ||
        zvf::frameFault(entry, recording.length()) != zvf::FrameFault::None)
        return 0;
    std::vector<uint8_t> bytes;
    zvf::readFrameBytes(recording, entry, bytes);
    uint64_t hash = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes)
        hash = (hash ^ b) * 0x100000001b3ull;
    return hash;
}

}  // namespace

RecordingMark markRecording(RandomFile &recording, int32_t frames) {
    RecordingMark mark;
    mark.frames = frames;
    if (frames <= 0)
        return mark;
    if (zvf::heldFrames(recording) < frames)
        throw Error("Запись не содержит кадра " + std::to_string(frames - 1));
    mark.firstEntry = rawEntry(recording, 0);
    mark.lastEntry = rawEntry(recording, frames - 1);
    mark.firstFrameHash = firstFrameHash(recording);
    return mark;
}

bool recordingMatches(RandomFile &recording, const RecordingMark &mark) {
    if (mark.frames <= 0)
        return true;
    if (zvf::heldFrames(recording) < mark.frames)
        return false;
    return rawEntry(recording, 0) == mark.firstEntry &&
           rawEntry(recording, mark.frames - 1) == mark.lastEntry &&
           firstFrameHash(recording) == mark.firstFrameHash;
}

// ---------------------------------------------------------------------------------------------
// Reading

struct TextIndex::Db {
    explicit Db(const std::string &path) : db(path, SqliteDb::Mode::ReadOnly) {}
    SqliteDb db;
};

TextIndex::TextIndex(const std::string &nativeRecording, RandomFile &recording)
    : path_(textIndexPath(nativeRecording)) {
    open(recording);
}

TextIndex::~TextIndex() = default;

bool TextIndex::usable() const {
    return coverage_.state == TextIndexState::Partial ||
           coverage_.state == TextIndexState::Complete;
}

void TextIndex::open(RandomFile &recording) {
    db_.reset();
    coverage_ = {};
    coverage_.heldFrames = zvf::heldFrames(recording);
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) {
        coverage_.state = TextIndexState::Missing;
        return;
    }
    try {
        auto db = std::make_unique<Db>(path_);
        coverage_.problem = textindex::schemaProblem(db->db, path_);
        if (coverage_.problem.empty()) {
            db_ = std::move(db);
            refresh(recording);
            return;
        }
    } catch (const SqliteError &e) {
        coverage_.problem = textindex::damagedText(path_, e);
    }
    coverage_.state = TextIndexState::Unusable;
}

const TextIndexCoverage &TextIndex::refresh(RandomFile &recording) {
    if (!db_) {
        open(recording);
        return coverage_;
    }
    coverage_.heldFrames = zvf::heldFrames(recording);
    try {
        const RecordingMark mark = textindex::readMark(db_->db);
        if (!recordingMatches(recording, mark)) {
            coverage_.state = TextIndexState::Unusable;
            coverage_.problem = textindex::otherRecordingText(path_);
            coverage_.indexedFrames = 0;
            return coverage_;
        }
        coverage_.indexedFrames = mark.frames;
        coverage_.problem.clear();
        coverage_.state = mark.frames >= coverage_.heldFrames ? TextIndexState::Complete
                                                              : TextIndexState::Partial;
    } catch (const SqliteError &e) {
        coverage_.state = TextIndexState::Unusable;
        coverage_.problem = textindex::damagedText(path_, e);
        coverage_.indexedFrames = 0;
    }
    return coverage_;
}

namespace {

// The FTS5 query for the words of at least three characters (what a trigram index can look
// up), each a quoted string; empty when there is none.
std::string ftsQuery(const std::vector<std::string> &words) {
    std::string query;
    for (const std::string &w : words) {
        size_t characters = 0;
        for (char c : w)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (characters < 3)
            continue;
        if (!query.empty())
            query += " AND ";
        query += '"';
        for (char c : w) {
            query += c;
            if (c == '"')
                query += '"';
        }
        query += '"';
    }
    return query;
}

bool holdsAll(const std::string &form, const std::vector<std::string> &words) {
    for (const std::string &w : words)
        if (form.find(w) == std::string::npos)
            return false;
    return true;
}

}  // namespace

namespace {

const char kHitColumns[] =
    "SELECT l.id, l.frame, l.left_frame, l.x, l.y, l.width, l.height, l.text, l.confidence, "
    "l.norm FROM lines l ";

}  // namespace

std::vector<TextHit> TextIndex::collect(SqliteStatement &s, const std::vector<std::string> &words,
                                        size_t maxHits, const std::atomic<bool> *cancel) {
    std::vector<TextHit> hits;
    const int32_t indexed = coverage_.indexedFrames;
    while (s.step()) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            break;
        const auto frame = static_cast<int32_t>(s.integer(1));
        // Lines committed after the coverage was taken wait for refresh().
        if (frame >= indexed || !holdsAll(s.text(9), words))
            continue;
        TextHit h;
        h.id = s.integer(0);
        h.firstFrame = frame;
        h.leftFrame =
            s.isNull(2) || s.integer(2) >= indexed ? -1 : static_cast<int32_t>(s.integer(2));
        h.box = {static_cast<int>(s.integer(3)), static_cast<int>(s.integer(4)),
                 static_cast<int>(s.integer(5)), static_cast<int>(s.integer(6))};
        h.line = s.text(7);
        h.confidence = static_cast<float>(s.real(8));
        hits.push_back(std::move(h));
        if (maxHits != 0 && hits.size() >= maxHits)
            break;
    }
    return hits;
}

std::vector<TextHit> TextIndex::search(std::string_view query, size_t maxHits,
                                       const std::atomic<bool> *cancel) {
    const std::vector<std::string> words = searchWords(query);
    if (words.empty() || !usable())
        return {};
    const std::string fts = ftsQuery(words);
    const std::string columns = kHitColumns;
    SqliteStatement s(db_->db, fts.empty()
                                   ? columns + "ORDER BY l.frame, l.id"
                                   : columns +
                                         "JOIN lines_text t ON t.rowid = l.id "
                                         "WHERE lines_text MATCH ?1 ORDER BY l.frame, l.id");
    if (!fts.empty())
        s.bind(1, std::string_view(fts));
    return collect(s, words, maxHits, cancel);
}

std::vector<TextHit> TextIndex::linesAt(int32_t frame) {
    if (!usable() || frame < 0 || frame >= coverage_.indexedFrames)
        return {};
    SqliteStatement s(db_->db, std::string(kHitColumns) +
                                   "WHERE l.frame <= ?1 AND (l.left_frame IS NULL OR "
                                   "l.left_frame > ?1) ORDER BY l.y, l.x, l.id");
    s.bind(1, int64_t{frame});
    return collect(s, {}, 0, nullptr);
}

}  // namespace zv
