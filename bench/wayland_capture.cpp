// The screen capture of a Wayland compositor (screen copy from a headless sway, software
// rendering) against the X11 capture of an Xvfb of the same size, in one run: 1280x1024 and
// 1920x1080, both screens one solid colour.
//
// BM_Grab: one picture. Besides the wall-clock time, the processor time per picture of this
// process (cpu_ms) and of the display server (server_cpu_ms: sway renders and copies the output
// into our shared memory, Xvfb copies its root into the MIT-SHM segment); their sum is cost_ms.
// BM_FrameToFile: the recorder's whole frame, picture + 16-colour GIF + append to a ZVF file.
// Its wall-clock time runs from asking for a picture to the frame in the file, and so includes
// sway's wait for the output's next repaint (60 Hz); frame_to_file_ms is the part from the
// picture at hand (the compositor's frame copied) to the frame in the file.
//
// Runs sway as the user nobody when run as root (sway refuses root).
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <ctime>
#include <map>
#include <memory>

#include "container/GifImage.h"
#include "platform/DateTime.h"
#include "platform/File.h"
#include "platform/ScreenCapture.h"
#include "platform/WaylandScreenCapture.h"
#include "recorder/FrameEncoding.h"
#include "recorder/RecordingWriter.h"
#include "support/Sway.h"
#include "support/XServer.h"

namespace {

constexpr uint32_t kColour = 0x3366CC;

double ownCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double steadyMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// A display server of one kind and size, kept for the whole run.
struct Display {
    std::unique_ptr<zvtest::Sway> sway;
    std::unique_ptr<zvtest::XServer> xvfb;
    std::unique_ptr<zvtest::RootPicture> picture;
    int pid = 0;

    std::unique_ptr<zv::ScreenSource> source() const {
        return sway ? zv::makeWaylandScreenCopySource(sway->socketPath())
                    : zv::makeX11ScreenSource(xvfb->display());
    }
};

// kind 0: Xvfb, 1: sway.
Display &displayOf(int kind, int width, int height) {
    static std::map<std::tuple<int, int, int>, Display> displays;
    Display &d = displays[{kind, width, height}];
    if (d.pid)
        return d;
    if (kind == 1) {
        d.sway = std::make_unique<zvtest::Sway>(width, height, kColour);
        d.pid = static_cast<int>(d.sway->pid());
    } else {
        d.xvfb = std::make_unique<zvtest::XServer>(width, height);
        d.picture = std::make_unique<zvtest::RootPicture>(d.xvfb->display());
        d.picture->fill(kColour);
        d.pid = d.xvfb->pid();
    }
    return d;
}

struct CpuCounters {
    int server;
    double own = ownCpuMs();
    double serverStart;
    explicit CpuCounters(int serverPid)
        : server(serverPid), serverStart(zvtest::processCpuMs(serverPid)) {}
    void report(benchmark::State &state) const {
        const double n = static_cast<double>(state.iterations());
        const double mine = (ownCpuMs() - own) / n;
        const double theirs = (zvtest::processCpuMs(server) - serverStart) / n;
        state.counters["cpu_ms"] = mine;
        state.counters["server_cpu_ms"] = theirs;
        state.counters["cost_ms"] = mine + theirs;
    }
};

// Arguments: kind, width, height.
void BM_Grab(benchmark::State &state) {
    const int w = static_cast<int>(state.range(1)), h = static_cast<int>(state.range(2));
    Display &display = displayOf(static_cast<int>(state.range(0)), w, h);
    const auto source = display.source();
    if (source->grab().width != w) {
        state.SkipWithError("the picture is not of the screen's size");
        return;
    }
    const CpuCounters cpu(display.pid);
    for (auto _ : state)
        benchmark::DoNotOptimize(source->grab().pixels);
    cpu.report(state);
    state.SetLabel(source->method());
}

void BM_FrameToFile(benchmark::State &state) {
    const int w = static_cast<int>(state.range(1)), h = static_cast<int>(state.range(2));
    Display &display = displayOf(static_cast<int>(state.range(0)), w, h);
    const auto source = display.source();
    QTemporaryDir folder;
    zv::RecordingWriter writer(zv::localFileSystem(), {});
    zv::GifEncoder encoder;
    const std::string file = folder.filePath("BigFile.zvf").toStdString();
    double at = zv::nowDateTime();
    double afterPicture = 0;
    const CpuCounters cpu(display.pid);
    for (auto _ : state) {
        const zv::ScreenImage image = source->grab();
        const double got = steadyMs();
        const std::vector<uint8_t> &gif = zv::encodeScreen(encoder, image, 4);
        writer.append(file, 64 << 20, gif, at += 1.0 / 86'400);
        afterPicture += steadyMs() - got;
    }
    cpu.report(state);
    state.counters["frame_to_file_ms"] = afterPicture / static_cast<double>(state.iterations());
    state.SetLabel(source->method());
}

void screens(benchmark::internal::Benchmark *b) {
    for (int kind : {0, 1}) {
        b->Args({kind, 1280, 1024});
        b->Args({kind, 1920, 1080});
    }
    b->ArgNames({"sway", "w", "h"})->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
}

BENCHMARK(BM_Grab)->Apply(screens);
BENCHMARK(BM_FrameToFile)->Apply(screens);

}  // namespace

BENCHMARK_MAIN();
