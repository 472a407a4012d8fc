#pragma once

#include <string>

#include "container/TextIndex.h"

namespace zv {
class SqliteDb;
class SqliteError;
}  // namespace zv

// The layout of the text index file, shared by its reader and its writer (TextIndex.h):
//
//   PRAGMA application_id  kApplicationId: tells our index from other SQLite files
//   PRAGMA user_version    kSchemaVersion
//   meta(key, value)       frames: frames 0 .. frames - 1 read; failed_frames: of those, frames
//                          that could not be decoded; first_entry, last_entry (blobs),
//                          first_frame_hash: the RecordingMark of the recording read
//   lines(id, frame, left_frame, x, y, width, height, text, confidence, norm, now_x, now_y,
//         now_width, now_height)
//                          one line of text read: the change start it was read at, the change
//                          start it left at (NULL while standing), its box there, the text as
//                          read, the engine's confidence, its search form (searchForm), and where
//                          it stands now when it moved since (NULL while it has not)
//   lines_text             FTS5 over lines.norm (external content, trigram tokens: substrings)
namespace zv::textindex {

inline constexpr int kApplicationId = 0x5A565458;  // "ZVTX"
inline constexpr int kSchemaVersion = 1;

// Creates the tables in an empty database.
void createSchema(SqliteDb &db);
// Why db is not an index of ours: empty when it is. SqliteError passes through (a file that is
// no database fails its first query).
std::string schemaProblem(SqliteDb &db, const std::string &path);
RecordingMark readMark(SqliteDb &db);
int64_t readFailedFrames(SqliteDb &db);

// Why an index that failed with e cannot be used: damaged, or SQLite's own reason otherwise.
std::string damagedText(const std::string &path, const SqliteError &e);
std::string otherRecordingText(const std::string &path);

}  // namespace zv::textindex
