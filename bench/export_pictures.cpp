// Picture export of 1280x1024 sample frames against decoding the same frames.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <filesystem>

#include "BenchRecording.h"
#include "container/GifImage.h"
#include "container/ZVFformatUnit.h"
#include "recorder/SampleRecording.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kFrames = 20;
fs::path g_dir;
std::string g_file;

// Decoding only: what the viewer does for each frame.
void BM_DecodeFrames(benchmark::State &state) {
    TZVFFormat zvf(g_file);
    zv::GifImage image;
    for (auto _ : state) {
        for (int32_t i = 0; i < kFrames; ++i) {
            if (!zvf.LoadFrame(i, image))
                state.SkipWithError("load failed");
            benchmark::DoNotOptimize(image.pixels()[0]);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}

// Read, decode, re-encode and write each frame as a GIF file.
void BM_ExportPictures(benchmark::State &state) {
    TZVFFormat zvf(g_file);
    const std::string folder = (g_dir / "pictures").string();
    for (auto _ : state)
        zvf.ExportPictures(folder, 0, kFrames - 1);
    state.SetItemsProcessed(state.iterations() * kFrames);
}

BENCHMARK(BM_DecodeFrames)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportPictures)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    g_dir = zvbench::workFolder("zorvideo-bench-pictures");
    g_file = (g_dir / "sample.zvf").string();
    SampleOptions o;
    o.frames = kFrames;
    o.delayMs = 300;  // several frames per second, as the naming must handle
    o.start = 46000.5;
    writeSampleRecording(g_file, o);

    return zvbench::runBenchmarks(argc, argv, g_dir);
}
