#pragma once

#include <functional>
#include <string>

namespace zv {

enum class LogLevel { Info, Warning, Error };

// Receives the recorder's events, one line of text each (UTF-8, no line end). The program
// writes them to stderr and the journal; tests collect them.
using RecorderLog = std::function<void(LogLevel level, const std::string &text)>;

}  // namespace zv
