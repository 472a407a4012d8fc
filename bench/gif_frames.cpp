// The GIF encoder against the screen it encodes, beside the giflib path it replaced
// (GifQuantizeBuffer, then EGifPutLine row by row; a copy kept here only for the comparison).
//
// For each operator screen of tests/support/OperatorScreens (busy, flat, text, gradients) at
// 1920x1080 and 1280x1024, with 16 and 256 colours, each benchmark times one frame's
// quantise + encode and reports: psnr (dB, the decoded frame against the screen, computed here),
// frame_bytes, and the processor time of its two steps (quantise_ms, encode_ms). Run with
// --benchmark_enable_random_interleaving=true --benchmark_repetitions=N so that old and new
// share the machine's load.
//
//   gif_frames --write-png FOLDER
// instead writes each 1920x1080 screen and its decoded frames (old and new, 16 and 256 colours)
// as PNG files for looking at them side by side, and prints their PSNR.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <stdexcept>

#include "container/GifImage.h"
#include "container/GifLzw.h"
#include "container/Quantizer.h"
#include "support/OperatorScreens.h"

namespace {

// The processor time of this thread, which a machine busy with other work does not stretch as
// it stretches the wall time.
struct Clock {
    using time_point = double;
    static double now() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    }
};

double msSince(double start) {
    return Clock::now() - start;
}

const QImage &screenOf(const std::string &kind, int width, int height) {
    static std::map<std::tuple<std::string, int, int>, QImage> screens;
    QImage &image = screens[{kind, width, height}];
    if (image.isNull())
        image = zvtest::operatorScreen(kind, width, height);
    return image;
}

const uint32_t *pixelsOf(const QImage &image) {
    return reinterpret_cast<const uint32_t *>(image.constBits());
}

size_t strideOf(const QImage &image) {
    return static_cast<size_t>(image.bytesPerLine()) / 4;
}

// ---- the giflib path the recorder used before ----

int writeToVector(GifFileType *gif, const GifByteType *data, int length) {
    auto *out = static_cast<std::vector<uint8_t> *>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

struct GiflibEncoder {
    std::vector<GifByteType> r, g, b, indexed, row;
    GifColorType palette[256];
    std::vector<uint8_t> out;

    void quantise(const QImage &image, int colours) {
        const int w = image.width(), h = image.height();
        const size_t n = static_cast<size_t>(w) * h;
        r.resize(n), g.resize(n), b.resize(n), indexed.resize(n);
        for (int y = 0; y < h; ++y) {
            const uint32_t *line = pixelsOf(image) + static_cast<size_t>(y) * strideOf(image);
            for (int x = 0; x < w; ++x) {
                const size_t i = static_cast<size_t>(y) * w + x;
                r[i] = static_cast<GifByteType>(line[x] >> 16);
                g[i] = static_cast<GifByteType>(line[x] >> 8);
                b[i] = static_cast<GifByteType>(line[x]);
            }
        }
        int size = colours;
        if (GifQuantizeBuffer(w, h, &size, r.data(), g.data(), b.data(), indexed.data(), palette) ==
            GIF_ERROR)
            throw std::runtime_error("GifQuantizeBuffer failed");
    }
    void encode(int w, int h, int colours) {
        out.clear();
        row.resize(static_cast<size_t>(w));
        int error = 0;
        GifFileType *gif = EGifOpen(&out, writeToVector, &error);
        ColorMapObject *map = GifMakeMapObject(colours, palette);
        EGifPutScreenDesc(gif, w, h, 8, 0, map);
        EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
        for (int y = 0; y < h; ++y) {
            std::memcpy(row.data(), indexed.data() + static_cast<size_t>(y) * w, row.size());
            EGifPutLine(gif, row.data(), w);
        }
        EGifCloseFile(gif, &error);
        GifFreeMapObject(map);
    }
};

// ---- ours, step by step as GifEncoder does them ----

struct OwnEncoder {
    zv::Quantizer quantizer;
    zv::GifLzwEncoder lzw;
    std::vector<uint8_t> indexed, out;
    uint32_t palette[256];
    int used = 0;

    void quantise(const QImage &image, int colours) {
        indexed.resize(static_cast<size_t>(image.width()) * image.height());
        used = quantizer.quantise(pixelsOf(image), image.width(), image.height(), strideOf(image),
                                  colours, palette, indexed.data());
    }
    void encode() {
        int bits = 1;
        while ((1 << bits) < used)
            ++bits;
        out.clear();
        lzw.encode(indexed.data(), indexed.size(), std::max(bits, 2), out);
    }
};

QImage decoded(const std::vector<uint8_t> &gif) {
    zv::GifImage image;
    image.loadFromBytes(gif.data(), gif.size());
    QImage out(image.width(), image.height(), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(out.scanLine(y), image.pixels() + static_cast<size_t>(y) * image.width(),
                    static_cast<size_t>(image.width()) * 4);
    return out;
}

// The whole file of each path, for the size and the decoded picture.
std::vector<uint8_t> giflibFile(const QImage &screen, int colours) {
    GiflibEncoder e;
    e.quantise(screen, colours);
    e.encode(screen.width(), screen.height(), colours);
    return e.out;
}

std::vector<uint8_t> ownFile(const QImage &screen, int colours) {
    zv::GifEncoder encoder;
    return encoder.encodeXrgb(pixelsOf(screen), screen.width(), screen.height(), strideOf(screen),
                              colours);
}

void reportQuality(benchmark::State &state, const QImage &screen, const std::vector<uint8_t> &gif) {
    state.counters["psnr"] = zvtest::psnr(screen, decoded(gif));
    state.counters["frame_bytes"] = static_cast<double>(gif.size());
}

const std::vector<std::string> &kinds() {
    static const std::vector<std::string> all = zvtest::operatorScreenKinds();
    return all;
}

// Arguments: screen kind (index), width, height, colours.
void BM_Giflib(benchmark::State &state) {
    const std::string &kind = kinds()[static_cast<size_t>(state.range(0))];
    const int w = static_cast<int>(state.range(1)), h = static_cast<int>(state.range(2));
    const int colours = static_cast<int>(state.range(3));
    const QImage &screen = screenOf(kind, w, h);
    GiflibEncoder e;
    double quantiseMs = 0, encodeMs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        e.quantise(screen, colours);
        quantiseMs += msSince(start);
        const auto middle = Clock::now();
        e.encode(w, h, colours);
        encodeMs += msSince(middle);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["quantise_ms"] = quantiseMs / n;
    state.counters["encode_ms"] = encodeMs / n;
    reportQuality(state, screen, giflibFile(screen, colours));
    state.SetLabel(kind);
}

void BM_Own(benchmark::State &state) {
    const std::string &kind = kinds()[static_cast<size_t>(state.range(0))];
    const int w = static_cast<int>(state.range(1)), h = static_cast<int>(state.range(2));
    const int colours = static_cast<int>(state.range(3));
    const QImage &screen = screenOf(kind, w, h);
    OwnEncoder e;
    double quantiseMs = 0, encodeMs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        e.quantise(screen, colours);
        quantiseMs += msSince(start);
        const auto middle = Clock::now();
        e.encode();
        encodeMs += msSince(middle);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["quantise_ms"] = quantiseMs / n;
    state.counters["encode_ms"] = encodeMs / n;
    reportQuality(state, screen, ownFile(screen, colours));
    state.SetLabel(kind);
}

void screens(benchmark::internal::Benchmark *b) {
    for (int64_t kind = 0; kind < static_cast<int64_t>(kinds().size()); ++kind)
        for (int colours : {16, 256}) {
            b->Args({kind, 1920, 1080, colours});
            b->Args({kind, 1280, 1024, colours});
        }
    b->Unit(benchmark::kMillisecond)->MinTime(0.5);
}

BENCHMARK(BM_Giflib)->Apply(screens);
BENCHMARK(BM_Own)->Apply(screens);

int writePngs(const QString &folder) {
    QDir().mkpath(folder);
    for (const std::string &kind : kinds()) {
        const QImage &screen = screenOf(kind, 1920, 1080);
        const QString base = folder + "/" + QString::fromStdString(kind);
        // A part of each, twice the size, where text, bars and the photo meet.
        const QRect part(1920 / 12, 1080 / 10, 480, 270);
        auto zoomed = [&](const QImage &picture) {
            return picture.copy(part).scaled(part.size() * 2, Qt::IgnoreAspectRatio,
                                             Qt::FastTransformation);
        };
        screen.save(base + "-screen.png");
        zoomed(screen).save(base + "-screen-part.png");
        for (int colours : {16, 256}) {
            for (bool own : {false, true}) {
                const std::vector<uint8_t> gif =
                    own ? ownFile(screen, colours) : giflibFile(screen, colours);
                const QImage picture = decoded(gif);
                const QString name =
                    QString("%1-%2-%3").arg(base).arg(own ? "own" : "giflib").arg(colours);
                picture.save(name + ".png");
                zoomed(picture).save(name + "-part.png");
                std::printf("%-10s %3d colours %-7s %6.2f dB %8zu bytes\n", kind.c_str(), colours,
                            own ? "own" : "giflib", zvtest::psnr(screen, picture), gif.size());
            }
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--write-png") == 0)
        return writePngs(QString::fromLocal8Bit(argv[2]));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
