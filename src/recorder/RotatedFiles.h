#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zv {

// Names of the files that a recording was rotated into. A recording written to
// <folder>/<stem><ext> (BigFile.zvf) moves, when full, to <folder>/<stem>_<YYYYMMDD>_<hhmmss><ext>
// (the date-time of its first frame), with _2, _3, ... before <ext> when that name is taken.

// The name for the given first date-time and number (1: no number). Native paths.
std::string rotatedFileName(const std::string &recording, double firstDateTime, int number = 1);

// Whether fileName (a name without folder) is a rotated name of recording.
bool isRotatedFileName(const std::string &recording, const std::string &fileName);

// The rotated files of recording that exist, oldest first (by the date-time in the name, then
// the number). Regular files only; never the recording itself. An unreadable folder gives none.
std::vector<std::string> rotatedFiles(const std::string &recording);

}  // namespace zv
