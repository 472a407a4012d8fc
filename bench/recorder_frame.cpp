// The recorder's cost of one frame of an operator screen (the sample renderer's picture as the
// root window of an Xvfb of 1920x1080 and of 1280x1024): capture + quantise + encode + append,
// against giflib's quantise + encode of the same pixels alone, with 16 and with 256 colours.
//
// Each benchmark reports, besides the wall-clock time, the processor time per frame of this
// process (cpu_ms) and of the display server (server_cpu_ms: the capture's copy is the
// server's work), read from the kernel, which a busy machine does not stretch; the cost of a
// frame is their sum. Also the size of the frames (frame_bytes). The cases' repetitions are
// interleaved (runBenchmarks); --benchmark_repetitions=N gives more of them.
//
//   recorder_frame --show-sample WIDTHxHEIGHT
// instead shows the sample screen on $DISPLAY and waits (for the 5-minute run of
// bench/recorder_cpu.sh).
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <poll.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>

#include "BenchRecording.h"
#include "container/GifImage.h"
#include "platform/DateTime.h"
#include "platform/ScreenCapture.h"
#include "recorder/FrameEncoding.h"
#include "recorder/RecordingWriter.h"
#include "recorder/SampleRecording.h"
#include "support/XServer.h"

namespace {

double ownCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

QImage sampleScreen(int width, int height) {
    return renderSampleScreen(width, height, *zv::parseDateTimeIso("2024-03-10 08:15:30"), 7)
        .convertToFormat(QImage::Format_RGB32);
}

// An Xvfb showing the sample screen, one per size, kept for the whole run.
struct Screen {
    std::unique_ptr<zvtest::XServer> server;
    std::unique_ptr<zvtest::RootPicture> picture;
    QImage image;
};

Screen &screenOf(int width, int height) {
    static std::map<std::pair<int, int>, Screen> screens;
    Screen &s = screens[{width, height}];
    if (!s.server) {
        s.server = std::make_unique<zvtest::XServer>(width, height);
        s.picture = std::make_unique<zvtest::RootPicture>(s.server->display());
        s.image = sampleScreen(width, height);
        s.picture->show(reinterpret_cast<const uint32_t *>(s.image.constBits()), width, height,
                        static_cast<size_t>(s.image.bytesPerLine()) / 4);
    }
    return s;
}

struct CpuCounters {
    int server;
    double own = ownCpuMs();
    double serverStart;
    explicit CpuCounters(int serverPid)
        : server(serverPid), serverStart(serverPid ? zvtest::processCpuMs(serverPid) : 0) {}
    void report(benchmark::State &state) const {
        const double n = static_cast<double>(state.iterations());
        const double mine = (ownCpuMs() - own) / n;
        const double theirs = server ? (zvtest::processCpuMs(server) - serverStart) / n : 0;
        state.counters["cpu_ms"] = mine;
        state.counters["server_cpu_ms"] = theirs;
        state.counters["cost_ms"] = mine + theirs;
    }
};

// Arguments: width, height, colours.
void BM_RecorderFrame(benchmark::State &state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const int32_t bitRate = state.range(2) == 16 ? 4 : 8;
    Screen &screen = screenOf(w, h);
    auto source = zv::makeX11ScreenSource(screen.server->display());
    QTemporaryDir folder;
    zv::RecordingWriter writer(zv::localFileSystem(), {});
    zv::GifEncoder encoder;
    const std::string file = folder.filePath("BigFile.zvf").toStdString();
    size_t bytes = 0;
    double at = zv::nowDateTime();
    const CpuCounters cpu(screen.server->pid());
    for (auto _ : state) {
        const zv::ScreenImage image = source->grab();
        const std::vector<uint8_t> &gif = zv::encodeScreen(encoder, image, bitRate);
        // Files of 64 MB: the rotation is part of the recorder's work too.
        writer.append(file, 64 << 20, gif, at += 1.0 / 86'400);
        bytes = gif.size();
    }
    cpu.report(state);
    state.counters["frame_bytes"] = static_cast<double>(bytes);
    state.SetLabel(source->method());
}

int writeToVector(GifFileType *gif, const GifByteType *data, int length) {
    auto *out = static_cast<std::vector<uint8_t> *>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// giflib alone: GifQuantizeBuffer over the planes of the same pixels, then EGif* into memory.
void BM_GiflibQuantiseEncode(benchmark::State &state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const int colours = static_cast<int>(state.range(2));
    const QImage image = screenOf(w, h).image;
    const size_t n = static_cast<size_t>(w) * h;
    std::vector<GifByteType> r(n), g(n), b(n), indexed(n), row(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        const auto *line = reinterpret_cast<const uint32_t *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            r[i] = static_cast<GifByteType>(line[x] >> 16);
            g[i] = static_cast<GifByteType>(line[x] >> 8);
            b[i] = static_cast<GifByteType>(line[x]);
        }
    }
    std::vector<uint8_t> out;
    size_t bytes = 0;
    const CpuCounters cpu(0);
    for (auto _ : state) {
        GifColorType palette[256];
        int size = colours;
        GifQuantizeBuffer(w, h, &size, r.data(), g.data(), b.data(), indexed.data(), palette);
        out.clear();
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
        bytes = out.size();
    }
    cpu.report(state);
    state.counters["frame_bytes"] = static_cast<double>(bytes);
}

void screens(benchmark::internal::Benchmark *b) {
    for (int colours : {16, 256}) {
        b->Args({1920, 1080, colours});
        b->Args({1280, 1024, colours});
    }
    b->Unit(benchmark::kMillisecond)->MinTime(2.0);
}

BENCHMARK(BM_RecorderFrame)->Apply(screens)->UseRealTime();
BENCHMARK(BM_GiflibQuantiseEncode)->Apply(screens)->UseRealTime();

// --show-sample WxH: the sample screen on $DISPLAY until killed.
int showSample(const char *size) {
    int w = 0, h = 0;
    if (std::sscanf(size, "%dx%d", &w, &h) != 2 || w < 16 || h < 16)
        return 2;
    zvtest::RootPicture picture;
    const QImage image = sampleScreen(w, h);
    picture.show(reinterpret_cast<const uint32_t *>(image.constBits()), w, h,
                 static_cast<size_t>(image.bytesPerLine()) / 4);
    std::printf("showing the sample screen %dx%d\n", w, h);
    std::fflush(stdout);
    ::pause();
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--show-sample") == 0)
        return showSample(argv[2]);
    return zvbench::runBenchmarks(argc, argv);
}
