#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "container/TextReading.h"
#include "platform/File.h"

// The text index of a recording: the file "<recording>.text" beside it, an SQLite database with
// an FTS5 table, holding every line of text read from the recording's frames and how far the
// recording has been read. zv::TextIndexer (TextIndexer.h) writes it; anyone may read it
// (zvf search, the viewer) while it is written.
//
// A line stands on the screen from the frame it was read in (a change start: the first frame of
// a still run) until the frame it left, the first later change start whose changed regions touch
// its box and where it is no longer read at its place (TextIndexer.h gives the exact rule); a line
// that has not left by the last frame indexed is still standing.
//
// Matching a query: both the query and each line are brought to a search form (searchForm):
// letters in lower case, "ё" as "е", every run of blanks as one blank, and a blank that groups
// the digits of a number (one blank between a digit and exactly three digits that end the
// number or go on with a non-digit) dropped, so that "2 486,00" and "2486,00" are the same; and
// a comma between two digits taken as a point, so that "2486.00" finds "2 486,00" too (the decimal
// sign the operator types need not be the one on the screen, and the engine reads a small comma
// of 11 px text as a point now and then). The
// query is split into words at the blanks that remain; a line matches when each word stands in
// its search form as a substring ("1034" finds "10342", "иван" finds "Иванов").
namespace zv {

class SqliteStatement;

// "<nativeRecording>.text".
std::string textIndexPath(const std::string &nativeRecording);

// The search form of a text (see above). Bytes that are not UTF-8 pass unchanged.
std::string searchForm(std::string_view text);
// The words of a query in search form; empty for a query of blanks.
std::vector<std::string> searchWords(std::string_view query);

// Which recording an index was made from, and how far: the recording's first index entry, the
// entry of the last frame indexed, and a hash of the first frame's bytes. A recording matches a
// mark when it still holds at least mark.frames frames with those entries and that first frame;
// a recording that was cut below what was indexed, or replaced by another, does not.
struct RecordingMark {
    int32_t frames = 0;      // frames 0 .. frames - 1 are indexed
    std::string firstEntry;  // entry 0 as stored in the file (20 bytes); empty when frames is 0
    std::string lastEntry;   // entry frames - 1 as stored
    uint64_t firstFrameHash = 0;
};

// The mark of the first frames frames of a recording (frames at most what it holds). Throws
// zv::Error on a read error or when those frames are not held.
RecordingMark markRecording(RandomFile &recording, int32_t frames);
// Whether recording still holds what mark describes. Throws zv::Error on a read error.
bool recordingMatches(RandomFile &recording, const RecordingMark &mark);

// One place where a line of text stood on the screen.
struct TextHit {
    int64_t id = 0;          // the line's row in the index
    int32_t firstFrame = 0;  // the first frame it stood on the screen
    int32_t leftFrame = -1;  // the first frame it no longer stood; -1 while still standing at
                             // the last frame indexed
    TextBox box;             // where it stood on its first frame, in frame pixels
    std::string line;        // the line as read
    float confidence = 0;    // the engine's confidence, 0 .. 100
};

// How far an index serves a recording.
enum class TextIndexState {
    Missing,   // no index beside the recording
    Unusable,  // damaged, not an index of ours, or made for another recording (problem says)
    Partial,   // usable; frames from indexedFrames on are not read yet
    Complete,  // every frame the recording holds is indexed
};

struct TextIndexCoverage {
    TextIndexState state = TextIndexState::Missing;
    int32_t indexedFrames = 0;  // frames 0 .. indexedFrames - 1 are read (0 unless usable)
    int32_t heldFrames = 0;     // frames the recording holds now
    std::string problem;        // why the index cannot be used (Unusable), in Russian
};

// An index opened read-only: never created, changed or set aside from here; an indexer may be
// writing it meanwhile (each call sees the index as last committed). Not thread-safe: one
// TextIndex per thread (its own SQLite connection); open as many as needed.
class TextIndex {
public:
    // Opens the index of nativeRecording and checks it against recording (the open recording
    // file, which need only live during the calls that take it). Throws nothing for a missing or
    // unusable index: coverage() says so and search finds nothing. Throws zv::Error on a read
    // error of the recording.
    TextIndex(const std::string &nativeRecording, RandomFile &recording);
    ~TextIndex();
    TextIndex(const TextIndex &) = delete;
    TextIndex &operator=(const TextIndex &) = delete;

    const TextIndexCoverage &coverage() const { return coverage_; }
    bool usable() const;
    // Checks again how far the index reaches and what the recording holds (both may grow while
    // an indexer runs). An index that was missing or unusable is opened again.
    const TextIndexCoverage &refresh(RandomFile &recording);

    // The lines that match query (see above), by first frame. At most maxHits (0: all). Empty for
    // a query of blanks or an unusable index; a set cancel returns what was found so far. Throws
    // zv::Error when the index fails to read (it was damaged since it was opened).
    std::vector<TextHit> search(std::string_view query, size_t maxHits = 0,
                                const std::atomic<bool> *cancel = nullptr);

    // The lines standing on the screen at frame (read at it or before, not left by it), by
    // place; empty for a frame not indexed. For outlining what was read on a frame shown.
    std::vector<TextHit> linesAt(int32_t frame);

private:
    struct Db;
    void open(RandomFile &recording);
    std::vector<TextHit> collect(SqliteStatement &s, const std::vector<std::string> &words,
                                 size_t maxHits, const std::atomic<bool> *cancel);

    std::string path_;
    std::unique_ptr<Db> db_;
    TextIndexCoverage coverage_;
};

// A line still standing at the last frame indexed, as the indexer keeps it between runs.
struct StandingLine {
    int64_t id = 0;
    int32_t firstFrame = 0;
    TextBox box;  // where it stands now
    std::string text;
};

// The index opened for writing, by one writer at a time: the constructor takes a lock on the file
// (flock), held while the object lives, so that a second indexer of the same recording (the
// viewer's and a service's, say) fails at once. Changes go into a transaction (begin .. commit):
// a kill loses what was not committed and nothing else. Not thread-safe.
class TextIndexWriter {
public:
    using Warning = std::function<void(const std::string &)>;

    // Opens or creates the index of nativeRecording. An index that is no SQLite database,
    // damaged, not an index of ours (another schema) or made for another recording (recording no
    // longer matches its mark) is set aside as "<index>_<YYYYMMDD>_<hhmmss>_damaged" (or
    // "_other" for another recording; "_2", "_3" on a clash), never deleted, and a new index is
    // begun; warning tells the operator so (in Russian). Throws zv::Error when another writer
    // holds the index or it cannot be written.
    TextIndexWriter(const std::string &nativeRecording, RandomFile &recording,
                    Warning warning = {});
    ~TextIndexWriter();
    TextIndexWriter(const TextIndexWriter &) = delete;
    TextIndexWriter &operator=(const TextIndexWriter &) = delete;

    int32_t indexedFrames() const { return indexed_; }
    // Frames that could not be read (undecodable), counted over the whole index.
    int64_t failedFrames() const { return failed_; }
    // The lines still standing at the last frame indexed, by first frame.
    std::vector<StandingLine> standingLines();

    void begin();
    // A line first read at frame; returns its id.
    int64_t addLine(int32_t frame, const TextLine &line);
    // The line id no longer stood from leftFrame on.
    void setLeft(int64_t id, int32_t leftFrame);
    // The line id stands at now (it moved: a list scrolled); its first place stays as it was.
    void moveLine(int64_t id, const TextBox &now);
    // Frames 0 .. mark.frames - 1 are read; failedFrames frames among them could not be.
    void setIndexed(const RecordingMark &mark, int64_t failedFrames);
    void commit();
    // Ends an open transaction without its changes (nothing when none is open).
    void rollback();

    // The recording at the index's place is no longer the one indexed (replaced, cut): begins a
    // new index for recording, telling warning. The old one goes with the recording indexed when
    // that was renamed to movedTo (a native path; the recorder renames a full recording) and no
    // index lies there yet; otherwise it is set aside as made for another recording.
    void startOver(RandomFile &recording, const std::string &movedTo = {});

private:
    struct Db;
    void openChecked(RandomFile &recording);
    void setAside(const std::string &why, const std::string &suffix);
    // Renames the index (and its journal) to to, without replacing a file there; false when one
    // is there. The lock is then taken on a new index at the old place.
    bool moveIndex(const std::string &to);

    std::string recordingName_;
    std::string path_;
    Warning warning_;
    UniqueFd lock_;
    std::unique_ptr<Db> db_;
    int32_t indexed_ = 0;
    int64_t failed_ = 0;
    bool inTransaction_ = false;
};

}  // namespace zv
