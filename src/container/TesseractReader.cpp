// Screen text through Tesseract's C++ API. A region is cut into blocks along the gaps of its
// background and each block made dark text on white (screens mix dark title bars and selected
// rows with light forms); each block, a line or a cell of text, is scaled up and read as one line.
// The engine's lines come back in frame coordinates.
#include "container/TesseractReader.h"

#include <dlfcn.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "container/TextImage.h"
#include "platform/Error.h"

namespace zv {

namespace {

// White around a part read, in frame pixels: the engine finds glyphs that touch the edge badly.
constexpr int kMargin = 4;
// Blocks up to this high are one line of text (15 px text with its accents and descenders).
constexpr int kOneLine = 24;
// Blocks higher than this that cut no further are left as they are (TextImage.h).
constexpr int kMixedAbove = BlockPreparation{}.mixedAbove;
// Blocks lower than this hold no text that can be read (rules, frames, dots).
constexpr int kLeastGlyph = 6;

// Debian's Tesseract runs parts of its networks on up to four OpenMP threads that spin while they
// wait: on a 2-core machine that cost six times the processor time, and more wall time too
// (bench/text_reading). A reader runs on a thread of its own, beside others: its engine stays on
// that thread. The setting is per thread, so it is made before every read. OMP_THREAD_LIMIT, when
// set, is left to rule.
void keepOpenMpOnThisThread() {
    using SetLevels = void (*)(int);
    static SetLevels setLevels = [] {
        if (std::getenv("OMP_THREAD_LIMIT"))
            return static_cast<SetLevels>(nullptr);
        return reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    }();
    if (setLevels)
        setLevels(0);  // per thread: no parallel region of this thread starts other threads
}

std::filesystem::path dataFolder(const TesseractSettings &settings) {
    if (!settings.dataPath.empty())
        return settings.dataPath;
    if (const char *prefix = std::getenv("TESSDATA_PREFIX"); prefix && *prefix)
        return prefix;
    return "/usr/share/tesseract-ocr/5/tessdata";
}

void checkLanguageData(const std::filesystem::path &folder) {
    for (const char *language : {"rus", "eng"}) {
        std::error_code ec;
        const auto file = folder / (std::string(language) + ".traineddata");
        if (!std::filesystem::is_regular_file(file, ec))
            throw Error("Нет языковых данных распознавания текста «" + std::string(language) +
                        "»: файл " + file.string() +
                        " не найден (пакеты tesseract-ocr-rus и tesseract-ocr-eng)");
    }
}

class TesseractReader final : public TextReader {
public:
    explicit TesseractReader(const TesseractSettings &settings) : settings_(settings) {
        const auto folder = dataFolder(settings);
        checkLanguageData(folder);
        keepOpenMpOnThisThread();
        // No dictionary guesses: receipt numbers, amounts and names are not dictionary words.
        // These are read while loading only.
        std::vector<std::string> names{"load_system_dawg", "load_freq_dawg"};
        std::vector<std::string> values(2, settings.dictionary ? "1" : "0");
        if (api_.Init(folder.string().c_str(), settings.languages.c_str(), tesseract::OEM_LSTM_ONLY,
                      nullptr, 0, &names, &values, false) != 0)
            throw Error(
                "Не удалось загрузить распознавание текста (Tesseract) с языковыми "
                "данными из " +
                folder.string());
        api_.SetPageSegMode(static_cast<tesseract::PageSegMode>(settings.pageSegMode));
        // The engine's remarks ("Detected 12 diacritics") would fill the terminal of zvf index
        // and the service's journal.
        api_.SetVariable("debug_file", "/dev/null");
    }

    ~TesseractReader() override { api_.End(); }

    std::vector<TextLine> read(const FramePixels &frame, const TextBox &region) override;
    void setCancel(const std::atomic<bool> *cancel) override { cancel_ = cancel; }

private:
    std::vector<TextLine> readPart(const GreyImage &grey, const TextBox &part, const TextBox &area,
                                   int mode);
    std::vector<TextLine> linesOf(const TextBox &where, const TextBox &clip);

    TesseractSettings settings_;
    tesseract::TessBaseAPI api_;
    const std::atomic<bool> *cancel_ = nullptr;
};

std::vector<TextLine> TesseractReader::read(const FramePixels &frame, const TextBox &region) {
    const TextBox area = intersect(region, {0, 0, frame.width, frame.height});
    if (area.width <= 0 || area.height <= 0 || !frame.pixels)
        return {};
    keepOpenMpOnThisThread();
    GreyImage grey = greyOf(frame, area);
    const std::vector<TextBox> blocks =
        prepareBlocks(grey, {settings_.invertDark, settings_.stretchContrast, settings_.gamma});
    if (!settings_.lineByLine)
        return readPart(grey, {0, 0, grey.width, grey.height}, area, settings_.pageSegMode);
    std::vector<TextLine> lines;
    for (const TextBox &b : blocks) {
        if (b.height < kLeastGlyph || b.width < 2)
            continue;
        if (cancel_ && *cancel_)
            throw Error("Чтение текста прервано");
        const int mode = b.height <= kOneLine ? tesseract::PSM_SINGLE_LINE : settings_.pageSegMode;
        for (TextLine &line : readPart(grey, b, area, mode))
            lines.push_back(std::move(line));
    }
    return lines;
}

// Reads part of the prepared picture with a white margin around it; lines in frame coordinates.
std::vector<TextLine> TesseractReader::readPart(const GreyImage &grey, const TextBox &part,
                                                const TextBox &area, int mode) {
    GreyImage piece;
    piece.width = part.width + 2 * kMargin;
    piece.height = part.height + 2 * kMargin;
    piece.data.assign(static_cast<size_t>(piece.width) * piece.height, 255);
    for (int y = 0; y < part.height; ++y)
        std::copy_n(grey.data.data() + static_cast<size_t>(part.y + y) * grey.width + part.x,
                    part.width, &piece.at(kMargin, kMargin + y));
    const GreyImage big = scaledUp(piece, settings_.scale);
    api_.SetPageSegMode(static_cast<tesseract::PageSegMode>(mode));
    // Lines and blocks come dark on light; a block left as it was (BlockPreparation::mixedAbove)
    // may hold light lines on dark bars too, which the engine tries inverted.
    api_.SetVariable("tessedit_do_invert", part.height > kMixedAbove ? "1" : "0");
    api_.SetImage(big.data.data(), big.width, big.height, 1, big.width);
    api_.SetSourceResolution(96 * settings_.scale);
    if (api_.Recognize(nullptr) != 0)
        throw Error("Ошибка распознавания текста (Tesseract)");
    const TextBox where{area.x + part.x - kMargin, area.y + part.y - kMargin, piece.width,
                        piece.height};
    return linesOf(where, intersect(where, area));
}

std::string singleBlanks(const char *text) {
    std::string out;
    bool blank = false;
    for (const char *c = text; *c; ++c) {
        if (*c == ' ' || *c == '\n' || *c == '\t' || *c == '\r') {
            blank = !out.empty();
            continue;
        }
        if (blank)
            out += ' ';
        blank = false;
        out += *c;
    }
    return out;
}

bool hasLetterOrDigit(const std::string &text) {
    for (unsigned char c : text)
        if (std::isalnum(c) || c >= 0x80)  // any letter beyond ASCII counts
            return true;
    return false;
}

std::vector<TextLine> TesseractReader::linesOf(const TextBox &where, const TextBox &clip) {
    std::vector<TextLine> lines;
    std::unique_ptr<tesseract::ResultIterator> it(api_.GetIterator());
    if (!it)
        return lines;
    const int s = settings_.scale;
    do {
        std::unique_ptr<char[]> raw(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
        if (!raw)
            continue;
        TextLine line;
        line.text = singleBlanks(raw.get());
        if (!hasLetterOrDigit(line.text))
            continue;
        int left = 0, top = 0, right = 0, bottom = 0;
        it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom);
        const int x0 = left / s, y0 = top / s, x1 = (right + s - 1) / s, y1 = (bottom + s - 1) / s;
        line.box = intersect({where.x + x0, where.y + y0, x1 - x0, y1 - y0}, clip);
        line.confidence = std::clamp(it->Confidence(tesseract::RIL_TEXTLINE), 0.0f, 100.0f);
        lines.push_back(std::move(line));
    } while (it->Next(tesseract::RIL_TEXTLINE));
    return lines;
}

}  // namespace

std::unique_ptr<TextReader> makeTesseractReader(const TesseractSettings &settings) {
    if (settings.scale < 1 || settings.scale > 8)
        throw Error("Недопустимый масштаб распознавания текста: " + std::to_string(settings.scale));
    return std::make_unique<TesseractReader>(settings);
}

}  // namespace zv
