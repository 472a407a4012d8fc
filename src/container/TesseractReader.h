#pragma once

#include <memory>
#include <string>

#include "container/TextReading.h"

// Reading screen text with Tesseract (Debian's libtesseract, languages rus and eng). Lives in its
// own library, zorvideo_ocr, so that zorvideo_core does not carry the engine.
namespace zv {

// How a region is prepared for the engine. The defaults are the measured best for screen text of
// 11 .. 15 px (bench/text_reading.cpp); the benchmark varies them.
struct TesseractSettings {
    // The folder of rus.traineddata and eng.traineddata; empty: the engine's own choice
    // ($TESSDATA_PREFIX, else Debian's /usr/share/tesseract-ocr/5/tessdata).
    std::string dataPath;
    // The engine's languages, the first one leading. Russian first: with English leading,
    // Cyrillic words of letters that Latin has too ("ТРК", "Время", "ДТ Евро") come out Latin
    // (words 94.6 % against 97.3 %); the price is Latin names with Cyrillic look-alikes ("Maria"
    // read as "мапа").
    std::string languages = "rus+eng";
    // The languages' word lists, which steer the engine towards dictionary words (no difference
    // measured on screens; receipt numbers and names are no dictionary words).
    bool dictionary = false;
    // Regions are scaled up this many times (11 .. 15 px text to 22 .. 30 px).
    int scale = 2;
    // Each line (or cell) that the cutting into blocks finds is read on its own as one line;
    // otherwise the region is read at once in pageSegMode.
    bool lineByLine = true;
    // Tesseract's page segmentation mode (tesseract::PageSegMode) for regions read at once and
    // for blocks taller than a line: 11 finds sparse text in any order, as a dialog or a table
    // holds it.
    int pageSegMode = 11;
    // Blocks of light text on a dark background are inverted (the engine reads dark on light).
    bool invertDark = true;
    // Each block's background is mapped to white and its darkest ink to black.
    bool stretchContrast = true;
    // With stretching: the power applied to grey levels (> 1 makes the half-tones darker).
    double gamma = 1.0;
};

// A reader with its own engine, loaded here (some 100 ms of processor time and 25 MB). Lines come
// one per block of text (a line of a dialog, a cell of a table), in the order the blocks are cut:
// top to bottom within each panel. The reader keeps the engine's OpenMP to the thread that calls
// read (readers run one per thread) unless OMP_THREAD_LIMIT is set. Throws zv::Error (a Russian
// message naming the folder and the packages) when the language data is missing or the engine
// cannot be loaded.
std::unique_ptr<TextReader> makeTesseractReader(const TesseractSettings &settings = {});

}  // namespace zv
