#pragma once

#include <string>

#include "recorder/RecorderLog.h"

// The recorder's log: one line per event, "YYYY-MM-DD hh:mm:ss.zzz LEVEL text", on stderr, and
// in the system journal when one runs (unless stderr already goes there); where none runs, also
// in the file kLogFileName beside cnf.INI once keepLogBeside has named it.
// One for the whole program.
const zv::RecorderLog &recorderLog();

// The log file beside the configuration file; at most kMaxLogBytes, the older lines moved to
// "<name>.1" (one older generation).
inline constexpr const char *kLogFileName = "ZORVideoService.log";
inline constexpr long kMaxLogBytes = 1'048'576;

// Where no journal runs, lines go also to kLogFileName in the folder of nativeConfig (when that
// folder exists). Call before the first line that should go there.
void keepLogBeside(const std::string &nativeConfig);

// Shorthand for lines of the program itself.
void logLine(zv::LogLevel level, const std::string &text);
