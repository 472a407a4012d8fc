#pragma once

#include <string>

#include "recorder/RecorderLog.h"

// The recorder's log: one line per event, "YYYY-MM-DD hh:mm:ss.zzz LEVEL text", on stderr, and
// in the system journal when one runs (unless stderr already goes there).
// One for the whole program.
const zv::RecorderLog &recorderLog();

// Shorthand for lines of the program itself.
void logLine(zv::LogLevel level, const std::string &text);
