// Reading screen text: recall and cost on 1920x1080 operator screens drawn with known text
// (a table of fuelling receipts and a receipt dialog; tests/support/TextScreens) in DejaVu Sans,
// Tahoma and Liberation Sans at 11 .. 15 px, black on light and light on dark.
//
// Recall: each screen is read whole, as the first frame of a file is; a word or number counts as
// found when it occurs in the lines read, both normalised as search does (lower case, ё as е,
// blanks between digits removed), anywhere in them, as search finds it. Each distinct term of a
// screen counts once.
// Cost: processor time of the process (the engine's threads included) for changedRegions on
// 1920x1080 frames, for reading a dialog that appears and a table row that changes.
//
// Usage: text_reading [--scale 2] [--at-once] [--psm 11] [--languages rus+eng] [--dictionary]
//                     [--no-invert] [--no-stretch] [--gamma 1.0] [--colours 256|16]
//                     [--sizes 11,13,15] [--fonts all|DejaVu,Tahoma,Liberation]
//                     [--polarity both|light|dark] [--decimal-either] [--misses] [--dump]
//                     [--save DIR] [--no-recall] [--no-cost] [--repeat N]
// Without options the reader's defaults (zv::TesseractSettings) are measured.
#include <sys/resource.h>
#include <sys/time.h>

#include <QGuiApplication>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "container/GifImage.h"
#include "container/TesseractReader.h"
#include "container/TextReading.h"
#include "support/TextScreens.h"

namespace {

struct Options {
    zv::TesseractSettings reader;
    std::vector<int> sizes{11, 12, 13, 14, 15};
    std::string fonts = "all", polarity = "both", save;
    bool misses = false, dump = false, recall = true, cost = true;
    int repeat = 5;
    bool decimalEither = false;
    int colours = 0;  // 0: the screen as drawn; 16 or 256: through the recorder's GIF encoder
};

double cpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto ms = [](const timeval &t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

long residentKb() {
    std::FILE *status = std::fopen("/proc/self/status", "r");
    long kb = 0;
    char line[256];
    while (status && std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmRSS: %ld", &kb) == 1)
            break;
    if (status)
        std::fclose(status);
    return kb;
}

double wallMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

zv::FramePixels pixelsOf(const QImage &image) {
    return {reinterpret_cast<const uint32_t *>(image.constBits()), image.width(), image.height()};
}

QString readText(zv::TextReader &reader, const QImage &image,
                 const std::vector<zv::TextBox> &boxes) {
    QString all;
    for (const zv::TextBox &box : boxes)
        for (const zv::TextLine &line : reader.read(pixelsOf(image), box))
            all += QString::fromStdString(line.text) + "\n";
    return all;
}

struct Tally {
    int words = 0, wordsFound = 0, numbers = 0, numbersFound = 0;
    double ms = 0;
    void add(const Tally &t) {
        words += t.words, wordsFound += t.wordsFound, numbers += t.numbers;
        numbersFound += t.numbersFound, ms += t.ms;
    }
    void print(const char *label) const {
        std::printf("%-28s words %5.1f %% (%d/%d)  numbers %5.1f %% (%d/%d)  %6.0f ms cpu\n", label,
                    100.0 * wordsFound / std::max(1, words), wordsFound, words,
                    100.0 * numbersFound / std::max(1, numbers), numbersFound, numbers, ms);
    }
};

// The screen as the recorder keeps it: a GIF of at most colours colours, decoded again.
QImage throughGif(const QImage &image, int colours) {
    zv::GifEncoder encoder;
    const auto &bytes = encoder.encodeXrgb(reinterpret_cast<const uint32_t *>(image.constBits()),
                                           image.width(), image.height(), image.width(), colours);
    zv::GifImage gif;
    gif.loadFromBytes(bytes.data(), bytes.size());
    QImage out(gif.width(), gif.height(), QImage::Format_RGB32);
    std::memcpy(out.bits(), gif.pixels(), size_t(gif.width()) * gif.height() * 4);
    return out;
}

// With --decimal-either: a comma between digits as a point, both in what was read and in the
// term (small commas are read as points); a measure of what such a rule of search would gain.
QString decimals(QString text, const Options &o) {
    static const QRegularExpression kComma("(?<=\\d),(?=\\d)");
    return o.decimalEither ? text.replace(kComma, ".") : text;
}

Tally measureScreen(zv::TextReader &reader, const QString &font, int size, bool dark,
                    const Options &o) {
    zvtest::TextScreen screen = zvtest::textScreen(font, size, dark, size);
    if (o.colours)
        screen.image = throughGif(screen.image, o.colours);
    if (!o.save.empty())
        screen.image.save(
            QString::fromStdString(o.save) +
            QString("/%1-%2-%3.png").arg(font).arg(size).arg(dark ? "dark" : "light"));
    const double start = cpuMs();
    const QString text =
        decimals(zvtest::normalisedText(readText(
                     reader, screen.image, {{0, 0, screen.image.width(), screen.image.height()}})),
                 o);
    Tally t;
    t.ms = cpuMs() - start;
    if (o.dump)
        std::printf("%s\n", qPrintable(text));
    // Each distinct term once: a word the table repeats ("Наличные") counts once, as search
    // finds the screen by any one of its places.
    auto count = [&](const std::vector<QString> &terms, int &total, int &found) {
        QSet<QString> seen;
        for (const QString &term : terms) {
            if (seen.contains(zvtest::normalisedText(term)))
                continue;
            seen.insert(zvtest::normalisedText(term));
            ++total;
            if (text.contains(decimals(zvtest::normalisedText(term), o)))
                ++found;
            else if (o.misses)
                std::printf("    missed: %s\n", qPrintable(term));
        }
    };
    count(screen.words, t.words, t.wordsFound);
    count(screen.numbers, t.numbers, t.numbersFound);
    return t;
}

void recall(zv::TextReader &reader, const Options &o) {
    Tally total;
    for (const QString &font : zvtest::textScreenFonts()) {
        const QStringList wanted = QString::fromStdString(o.fonts).split(',');
        if (o.fonts != "all" && std::none_of(wanted.begin(), wanted.end(),
                                             [&](const QString &w) { return font.startsWith(w); }))
            continue;
        for (bool dark : {false, true}) {
            if ((dark && o.polarity == "light") || (!dark && o.polarity == "dark"))
                continue;
            Tally byPolarity;
            for (int size : o.sizes) {
                const Tally t = measureScreen(reader, font, size, dark, o);
                const std::string label = font.toStdString() + " " + std::to_string(size) + " px " +
                                          (dark ? "dark" : "light");
                t.print(label.c_str());
                byPolarity.add(t);
            }
            byPolarity.print(("  " + font.toStdString() + (dark ? " dark" : " light")).c_str());
            total.add(byPolarity);
        }
    }
    total.print("TOTAL");
}

// Processor and wall time per call of work, the median of o.repeat runs.
template <typename Work>
void timed(const char *label, int repeat, Work &&work) {
    std::vector<double> cpu, wall;
    for (int i = 0; i < repeat; ++i) {
        const double c = cpuMs(), w = wallMs();
        work();
        cpu.push_back(cpuMs() - c);
        wall.push_back(wallMs() - w);
    }
    std::sort(cpu.begin(), cpu.end());
    std::sort(wall.begin(), wall.end());
    std::printf("%-52s %9.3f ms cpu %9.3f ms wall (median of %d)\n", label, cpu[cpu.size() / 2],
                wall[wall.size() / 2], repeat);
}

void costs(zv::TextReader &reader, const Options &o) {
    const QString font = zvtest::textScreenFonts().at(0);
    for (bool dark : {false, true}) {
        const zvtest::TextScreen a = zvtest::textScreen(font, 13, dark, 1);
        const zvtest::TextScreen b = zvtest::textScreen(font, 13, dark, 2);
        // A dialog that appears: the frame before it shows the table alone.
        QImage before = a.image.copy();
        QPainter(&before).fillRect(a.dialog, a.image.pixelColor(a.dialog.left() - 5, 1040));
        // A table row that changes: row 6 of the other variant copied in.
        QImage row = a.image.copy();
        const QRect band(10, 10 + 6 * (13 + 9), a.dialog.left() - 40, 13 + 9);
        QPainter(&row).drawImage(band, b.image, band);
        const auto pa = pixelsOf(a.image), pb = pixelsOf(before), pr = pixelsOf(row);
        std::printf("%s, DejaVu Sans 13 px:\n", dark ? "light on dark" : "black on light");
        const int many = o.repeat * 40;
        timed("  changedRegions, equal frames", many, [&] { zv::changedRegions(&pa, pa); });
        timed("  changedRegions, a dialog appears", many, [&] { zv::changedRegions(&pb, pa); });
        timed("  changedRegions, a table row changes", many, [&] { zv::changedRegions(&pa, pr); });
        const auto dialog = zv::changedRegions(&pb, pa), rowRegions = zv::changedRegions(&pa, pr);
        std::printf("  regions: dialog %zu (%dx%d), row %zu (first %dx%d)\n", dialog.size(),
                    dialog.at(0).width, dialog.at(0).height, rowRegions.size(),
                    rowRegions.at(0).width, rowRegions.at(0).height);
        std::printf("  the row read: %s\n",
                    qPrintable(readText(reader, row, rowRegions).replace('\n', " | ")));
        timed("  read: a dialog appears (regions + reading)", o.repeat,
              [&] { readText(reader, a.image, zv::changedRegions(&pb, pa)); });
        timed("  read: a table row changes (regions + reading)", o.repeat,
              [&] { readText(reader, row, zv::changedRegions(&pa, pr)); });
        timed("  read: the whole frame (a file's first frame)", std::max(1, o.repeat / 2), [&] {
            readText(reader, a.image, {{0, 0, 1920, 1080}});
        });
    }
}

std::vector<int> numbers(const std::string &list) {
    std::vector<int> out;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');)
        out.push_back(std::stoi(item));
    return out;
}

Options parse(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        const std::string value = i + 1 < argc ? argv[i + 1] : "";
        if (name == "--no-invert")
            o.reader.invertDark = false;
        else if (name == "--no-stretch")
            o.reader.stretchContrast = false;
        else if (name == "--dump")
            o.dump = true;
        else if (name == "--decimal-either")
            o.decimalEither = true;
        else if (name == "--dictionary")
            o.reader.dictionary = true;
        else if (name == "--at-once")
            o.reader.lineByLine = false;
        else if (name == "--misses")
            o.misses = true;
        else if (name == "--no-recall")
            o.recall = false;
        else if (name == "--no-cost")
            o.cost = false;
        else if (name == "--scale" && ++i)
            o.reader.scale = std::stoi(value);
        else if (name == "--gamma" && ++i)
            o.reader.gamma = std::stod(value);
        else if (name == "--languages" && ++i)
            o.reader.languages = value;
        else if (name == "--psm" && ++i)
            o.reader.pageSegMode = std::stoi(value);
        else if (name == "--sizes" && ++i)
            o.sizes = numbers(value);
        else if (name == "--fonts" && ++i)
            o.fonts = value;
        else if (name == "--save" && ++i)
            o.save = value;
        else if (name == "--polarity" && ++i)
            o.polarity = value;
        else if (name == "--colours" && ++i)
            o.colours = std::stoi(value);
        else if (name == "--repeat" && ++i)
            o.repeat = std::max(1, std::stoi(value));
        else
            std::fprintf(stderr, "text_reading: unknown option %s\n", name.c_str());
    }
    return o;
}

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const Options o = parse(argc, argv);
    const zv::TesseractSettings &r = o.reader;
    std::printf(
        "%s, %s, dictionary %s, scale %d, page segmentation %d, invert dark %s, stretch "
        "contrast %s, gamma %.2f, OMP_THREAD_LIMIT %s\n",
        r.lineByLine ? "line by line" : "regions at once", r.languages.c_str(),
        r.dictionary ? "yes" : "no", r.scale, r.pageSegMode, r.invertDark ? "yes" : "no",
        r.stretchContrast ? "yes" : "no", r.gamma,
        std::getenv("OMP_THREAD_LIMIT") ? std::getenv("OMP_THREAD_LIMIT") : "(unset)");
    const double loadStart = cpuMs();
    const long rssBefore = residentKb();
    auto reader = zv::makeTesseractReader(o.reader);
    std::printf("engine loaded: %.0f ms cpu, %ld MB more resident memory\n", cpuMs() - loadStart,
                (residentKb() - rssBefore) / 1024);
    if (o.recall)
        recall(*reader, o);
    if (o.cost)
        costs(*reader, o);
    return 0;
}
