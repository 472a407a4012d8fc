#pragma once

#include <vector>

#include "ZvfCommand.h"

// The export commands as zvf describes them (name, usage, options), without their run. zvf lists
// and parses them and hands them to the program that runs them, which loads the export's
// libraries (FFmpeg's among them, about a hundred) that the other commands do without.
inline constexpr char kExportProgram[] = "zvf-export";
std::vector<ZvfCommand> exportCommandUsages();
