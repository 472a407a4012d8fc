#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/File.h"
#include "recorder/CountCommitter.h"
#include "recorder/RecorderLog.h"

namespace zv {

// Writes the recorder's frames into its recording file and rotates the file when it is full.
//
// Each frame goes to the file named by the caller (a native path) in the recorder's order: frame
// bytes and entry, a data sync, then the count (CountCommitter.h: the sync and the count follow
// on a thread of their own, so the frame's time is not spent waiting for the disk). The file
// passes the format's checks at every moment, also after kill -9, and after a power cut the
// count covers only frames that reached the disk. Before a frame the file is rotated (renamed to
// rotatedFileName of its first frame, see RotatedFiles.h, and started anew) when the frame would
// take it past the size limit, when its index is full, or when the frame's date-time lies before
// the last frame's (a clock set back): date-times rise within every file.
//
// Opening a file (at the first frame, after a rotation, and whenever an append finds the file
// damaged) inspects it (RecordingRepair.h): a torn tail is cut back to the sound frames in place
// and logged with the number of frames dropped; any other damage sets the file aside unchanged
// under damagedFileName and a new file is started, within the same frame. Nothing is deleted or
// overwritten by either.
//
// A new file is made without a name of its own first (O_TMPFILE, else an unpredictable name
// created exclusively) and linked in with its count already in place, so a link planted in the
// folder is never followed and the name never stands for a file shorter than the count. A
// recording name that is a symbolic link of another user is refused.
//
// The file is locked (flock) while it is open here, so two recorders never append to one file.
// A file replaced or removed behind the writer's back is opened anew at the next frame.
class RecordingWriter {
public:
    // files must outlive the writer; log receives rotations.
    RecordingWriter(FileSystem &files, RecorderLog log);
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter &) = delete;
    RecordingWriter &operator=(const RecordingWriter &) = delete;

    // Appends one frame taken at dateTime (stored rounded to the millisecond). maxBytes <= 0
    // means no size limit. A missing folder of file is created, except a missing drive (the
    // folder <root>/drive_<x> itself). Throws zv::Error when the frame is not written; the file is
    // then left as it was (a frame written only in part is not counted) and opened anew next time.
    void append(const std::string &file, int64_t maxBytes, const std::vector<uint8_t> &gif,
                double dateTime);

    // Waits until every frame written is counted in the file (readers see it). Throws zv::Error
    // when the count could not be written; those frames stay uncounted.
    void flush();

    // Counts what is written, then closes the file (recording switched off, another file
    // chosen, the program's end).
    void close();

    // Frames that were written but could not be counted (their sync or count failed), so far.
    uint64_t framesUncounted() const { return uncounted_; }

    // The file now open, empty when none.
    const std::string &currentFile() const { return current_; }

private:
    // Opens file (made when missing) and mends or sets it aside; at is the date-time now.
    void open(const std::string &file, double at);
    // The open file's verdict acted upon: false when it was set aside (and closed).
    bool repairOrSetAside(const std::string &file, double at);
    void setAside(const std::string &file, double at, const std::string &problem);
    bool damagedNow(const std::string &file);
    void noteUncounted(const std::string &reason);
    void writeFrame(const std::vector<uint8_t> &gif, double dateTime);
    void appendOnce(const std::string &file, int64_t maxBytes, const std::vector<uint8_t> &gif,
                    double dateTime);
    bool needsRotation(int64_t maxBytes, size_t frameSize, double dateTime);
    void rotate();

    FileSystem &files_;
    RecorderLog log_;
    std::string current_;
    std::unique_ptr<RandomFile> file_;  // read-write; holds the lock
    std::unique_ptr<CountCommitter> committer_;
    int32_t count_ = 0;       // frames written, counted or about to be
    int64_t nextOffset_ = 0;  // data offset of the next frame
    std::optional<double> lastDateTime_;
    uint64_t uncounted_ = 0;
};

// How much of a missing recording folder makeRecordingFolder makes.
enum class FolderLevels {
    LastOnly,     // the last level only: nothing when its parent is missing too (the module's load)
    WithParents,  // every missing level below the drive (the recorder)
};

// Makes the folder of a recording file (an operator path or a native one) when it is missing.
// A mapped drive path never makes its drive (<root>/drive_<x> must exist). Throws zv::Error naming
// the folder when a level that should be made cannot be.
void makeRecordingFolder(const std::string &file, FolderLevels levels);

}  // namespace zv
