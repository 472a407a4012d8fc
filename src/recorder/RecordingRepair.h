#pragma once

#include <cstdint>
#include <string>

#include "platform/File.h"

namespace zv {

// What the recorder finds when it opens a recording to go on appending to it.
//
// A power cut or a program that cuts the file short leaves a torn tail: a count, or the last
// entries, naming frames whose bytes are not (or not wholly) in the file, while every frame
// before them is sound. Such a file is cut back to its sound frames in place. Anything else (a
// count outside 0..499,900, an unreadable frame with readable frames after it, date-times that
// fall) is damage that the recorder does not mend: the file is set aside unchanged.
struct RecordingVerdict {
    enum class Kind {
        Sound,     // append as it stands
        TornTail,  // rewrite the count as keep
        Damaged,   // set the file aside
    };
    Kind kind = Kind::Sound;
    int32_t count = 0;    // the count as stored (0 for a file shorter than the count)
    int32_t keep = 0;     // the sound frames at the front (TornTail: the new count)
    std::string problem;  // Russian, what is wrong; empty for a sound file
};

// Reads the count and every entry the count names (in blocks, never the whole index at once).
// Throws zv::Error on a read error.
RecordingVerdict inspectRecording(RandomFile &file);

// The name under which a damaged recording is set aside:
// <folder>/<stem>_<YYYYMMDD>_<hhmmss>_damaged<ext>, the date-time of setting it aside, with _2,
// _3, ... after "_damaged" for number > 1. Never a rotated name (RotatedFiles.h), so the
// free-space rule never deletes it.
std::string damagedFileName(const std::string &recording, double setAsideAt, int number = 1);

}  // namespace zv
