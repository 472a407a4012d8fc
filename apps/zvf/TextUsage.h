#pragma once

#include "ZvfCommand.h"

// zvf index as zvf describes it (name, usage, options), without its run: zvf lists and parses it
// and hands it to the program that runs it, which loads the text reader (Tesseract and its some
// fifty libraries) that the other commands do without. Its run is in IndexCommand.cpp.
inline constexpr char kTextProgram[] = "zvf-text";
ZvfCommand indexCommandUsage();
