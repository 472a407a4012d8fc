// The text index: searching the index of eight hours at one frame a second (28,800 frames, a
// fifth of them change starts with four lines each), opened once as the viewer holds it and
// opened for each search as zvf search does; and indexing a sample recording at one frame a
// second in which a fifth of the frames change (rendered operator screens), with the Tesseract
// reader and with a reader that reads nothing (what the indexer itself costs: decoding, changed
// regions, the index). The indexing figures are processor time of the whole process (all
// threads) per changed frame and per hour of such a recording.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QGuiApplication>
#include <QImage>
#include <array>
#include <cstdio>

#include "BenchRecording.h"
#include "container/GifImage.h"
#include "container/TesseractReader.h"
#include "container/TextIndex.h"
#include "container/TextIndexer.h"
#include "container/ZVFAppender.h"
#include "recorder/SampleRecording.h"
#include "support/TextScreens.h"

namespace {

std::filesystem::path g_folder;
constexpr int32_t kHourFrames = 3600;
constexpr int32_t kEightHours = 8 * kHourFrames;
constexpr int32_t kChangeEvery = 5;

const char *const kNames[] = {"Иванов", "Петрова", "Сидоренко", "Ёлкина", "Кузнецов", "Смирнова"};
const char *const kFuels[] = {"АИ-92", "АИ-95", "АИ-98", "ДТ", "Газ"};

// Four lines of a receipt dialog; receipt numbers run from 10000 on.
std::vector<zv::TextLine> dialogLines(int32_t k) {
    char amount[64], litres[64];
    const int rub = 500 + (k * 7919) % 9000;
    std::snprintf(amount, sizeof amount, "Сумма: %d %03d,%02d руб.", rub / 1000, rub % 1000,
                  k % 100);
    std::snprintf(litres, sizeof litres, "%s  %d.%02d л  ТРК %d", kFuels[k % 5], 5 + k % 60,
                  k % 100, 1 + k % 8);
    return {{{900, 100, 300, 15}, "Номер чека: " + std::to_string(10000 + k), 91},
            {{900, 120, 300, 15}, amount, 88},
            {{900, 140, 300, 15}, litres, 90},
            {{900, 160, 300, 15}, std::string("Оператор: ") + kNames[k % 6], 93}};
}

// The index of eight hours, written through the index's own writer, beside a recording whose
// frames are a hole of a sparse file (the index only needs its entries).
std::string eightHours() {
    static std::string recording;
    if (!recording.empty())
        return recording;
    recording = (g_folder / "eight-hours.zvf").string();
    zvbench::writeRecording(recording, kEightHours, 100, false);
    auto file = zv::localFileSystem().open(recording, zv::FileSystem::OpenMode::Read);
    zv::TextIndexWriter writer(recording, *file);
    writer.begin();
    std::vector<int64_t> standing;
    for (int32_t start = 0; start < kEightHours; start += kChangeEvery) {
        for (int64_t id : standing)
            writer.setLeft(id, start);
        standing.clear();
        for (const zv::TextLine &line : dialogLines(start / kChangeEvery))
            standing.push_back(writer.addLine(start, line));
    }
    writer.setIndexed(zv::markRecording(*file, kEightHours), 0);
    writer.commit();
    return recording;
}

// A receipt number (one line), an amount written with and without its group blank, a name on a
// sixth of the lines, two words, a word too short for the trigram index (every line read), and
// nothing.
const char *const kQueries[] = {"12345", "1 234",   "ёлкина",    "чек 15000",
                                "аи",    "2486,00", "нет такого"};

void BM_SearchEightHours(benchmark::State &state) {
    const std::string recording = eightHours();
    const char *query = kQueries[state.range(0)];
    auto file = zv::localFileSystem().open(recording, zv::FileSystem::OpenMode::Read);
    zv::TextIndex index(recording, *file);
    size_t hits = 0;
    for (auto _ : state)
        hits = index.search(query).size();
    state.SetLabel(std::string(query) + ": " + std::to_string(hits) + " hits");
}

// As zvf search: open the index, check it against the recording, search.
void BM_OpenAndSearchEightHours(benchmark::State &state) {
    const std::string recording = eightHours();
    const char *query = kQueries[state.range(0)];
    size_t hits = 0;
    for (auto _ : state) {
        auto file = zv::localFileSystem().open(recording, zv::FileSystem::OpenMode::Read);
        zv::TextIndex index(recording, *file);
        hits = index.search(query).size();
    }
    state.SetLabel(std::string(query) + ": " + std::to_string(hits) + " hits");
}

// A sample recording of frames frames at one a second; every fifth frame shows a new screen.
std::string sampleRecording(int32_t frames) {
    const std::string path = (g_folder / ("sample-" + std::to_string(frames) + ".zvf")).string();
    if (std::filesystem::exists(path))
        return path;
    ZVFAppender out(path);
    zv::GifEncoder encoder;
    const double start = 46'000.5;
    for (int32_t i = 0; i < frames; i += kChangeEvery) {
        const double at = start + i / 86'400.0;
        const QImage screen = renderSampleScreen(1280, 1024, at, i / kChangeEvery);
        const std::vector<uint8_t> gif = encodeSampleScreen(encoder, screen, 8);
        for (int32_t k = i; k < std::min(i + kChangeEvery, frames); ++k)
            out.append(gif.data(), gif.size(), start + k / 86'400.0);
    }
    return path;
}

double processSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct NoText : zv::TextReader {
    std::vector<zv::TextLine> read(const zv::FramePixels &, const zv::TextBox &) override {
        return {};
    }
};

void indexSample(benchmark::State &state, const zv::TextReaderFactory &factory) {
    const auto frames = static_cast<int32_t>(state.range(0));
    const std::string recording = sampleRecording(frames);
    zv::TextIndexerOptions options;
    options.threads = static_cast<int>(state.range(1));
    options.lowPriority = false;
    options.bands = state.range(2) != 0;
    double cpu = 0;
    zv::TextIndexProgress done;
    for (auto _ : state) {
        std::filesystem::remove(zv::textIndexPath(recording));
        const double before = processSeconds();
        zv::TextIndexer indexer(recording, factory, options);
        const std::atomic<bool> cancel{false};
        done = indexer.run(cancel);
        cpu += processSeconds() - before;
    }
    const double perChange = cpu / static_cast<double>(state.iterations()) /
                             static_cast<double>(std::max<int64_t>(done.changeStarts, 1));
    state.counters["changed_frames"] = static_cast<double>(done.changeStarts);
    state.counters["regions"] = static_cast<double>(done.regionsRead);
    state.counters["cpu_s_per_changed_frame"] = perChange;
    // An hour at one frame a second in which a fifth of the frames change.
    state.counters["cpu_s_per_hour"] = perChange * kHourFrames / kChangeEvery;
    state.counters["share_of_a_core"] = perChange / kChangeEvery;
}

void BM_IndexSampleTesseract(benchmark::State &state) {
    indexSample(state, [] { return zv::makeTesseractReader(); });
}

void BM_IndexSampleNoReading(benchmark::State &state) {
    indexSample(state, [] { return std::make_unique<NoText>(); });
}

std::vector<uint8_t> gifOf(const QImage &image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    zv::GifEncoder encoder;
    return encoder.encodeXrgb(reinterpret_cast<const uint32_t *>(rgb.constBits()), rgb.width(),
                              rgb.height(), static_cast<size_t>(rgb.bytesPerLine() / 4), 256);
}

// Recall through the index, as a reviewer meets it: a plain screen, then a rendered operator
// screen with known words and numbers (DejaVu, Tahoma and Liberation at 11 and 15 px, dark on
// light and light on dark); the share of them that zv::TextIndex::search finds on that frame.
// range(0): 1 reads the regions by bands (the indexer's way), 0 each region whole.
void BM_RecallThroughIndex(benchmark::State &state) {
    int words = 0, wordsFound = 0, numbers = 0, numbersFound = 0, screen = 0;
    for (auto _ : state) {
        for (const QString &font : zvtest::textScreenFonts())
            for (int size : {11, 15})
                for (bool dark : {false, true}) {
                    const zvtest::TextScreen s =
                        zvtest::textScreen(font, size, dark, ++screen, 1280, 720);
                    const std::string path =
                        (g_folder / ("recall-" + std::to_string(screen) + ".zvf")).string();
                    {
                        ZVFAppender out(path);
                        QImage plain(s.image.size(), QImage::Format_RGB32);
                        plain.fill(s.image.pixel(0, 0));
                        for (const QImage *image :
                             std::array<const QImage *, 2>{&plain, &s.image}) {
                            const std::vector<uint8_t> gif = gifOf(*image);
                            out.append(gif.data(), gif.size(),
                                       46'000.5 + out.frameCount() / 86'400.0);
                        }
                    }
                    zv::TextIndexerOptions options;
                    options.threads = 1;
                    options.lowPriority = false;
                    options.bands = state.range(0) != 0;
                    zv::TextIndexer indexer(
                        path, [] { return zv::makeTesseractReader(); }, options);
                    const std::atomic<bool> cancel{false};
                    indexer.run(cancel);
                    auto file = zv::localFileSystem().open(path, zv::FileSystem::OpenMode::Read);
                    zv::TextIndex index(path, *file);
                    const auto found = [&](const QString &term) {
                        for (const zv::TextHit &h : index.search(term.toStdString()))
                            if (h.firstFrame == 1)
                                return true;
                        return false;
                    };
                    for (const QString &w : s.words)
                        ++words, wordsFound += found(w);
                    for (const QString &n : s.numbers)
                        ++numbers, numbersFound += found(n);
                }
    }
    state.counters["words"] = words;
    state.counters["words_recall_pct"] = 100.0 * wordsFound / std::max(words, 1);
    state.counters["numbers"] = numbers;
    state.counters["numbers_recall_pct"] = 100.0 * numbersFound / std::max(numbers, 1);
}

}  // namespace

BENCHMARK(BM_RecallThroughIndex)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_SearchEightHours)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndSearchEightHours)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);
// Arguments: frames, reading threads, regions read by bands (1) or whole (0).
BENCHMARK(BM_IndexSampleNoReading)
    ->Args({900, 1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK(BM_IndexSampleTesseract)
    ->Args({900, 1, 1})
    ->Args({900, 1, 0})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    g_folder = zvbench::workFolder("text_index");
    return zvbench::runBenchmarks(argc, argv, g_folder);
}
