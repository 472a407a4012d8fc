#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/File.h"
#include "recorder/RecorderLog.h"

class ZVFAppender;

namespace zv {

// Writes the recorder's frames into its recording file and rotates the file when it is full.
//
// Each frame goes to the file named by the caller (a native path), in the appender's order, so
// that the file passes the format's checks at every moment, also after kill -9. Before a frame
// the file is rotated (renamed to rotatedFileName of its first frame, see RotatedFiles.h, and
// started anew) when the frame would take it past the size limit, when its index is full, or
// when the frame's date-time lies before the last frame's (a clock set back): date-times rise
// within every file. A new file appears with its count already in place (written under a
// temporary name and linked in), never as an empty file.
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

    // Closes the file (recording switched off, or another file chosen).
    void close();

    // The file now open, empty when none.
    const std::string &currentFile() const { return current_; }

private:
    void open(const std::string &file);
    bool needsRotation(int64_t maxBytes, size_t frameSize, double dateTime);
    void rotate();

    FileSystem &files_;
    RecorderLog log_;
    std::string current_;
    std::unique_ptr<RandomFile> inspect_;  // holds the lock; reads the count and the entries
    std::unique_ptr<ZVFAppender> appender_;
    std::optional<double> lastDateTime_;
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
