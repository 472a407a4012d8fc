// Throughput of the MP4 export on 1280x1024 sample screens at 1 frame/s: frames per second of
// wall-clock time, and processor time per frame (all threads), which the load of a shared machine
// distorts less. Decoding the frames alone is measured by export_pictures (BM_DecodeFrames).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QGuiApplication>
#include <filesystem>

#include "BenchRecording.h"
#include "container/Mp4Export.h"
#include "container/ZVFformatUnit.h"
#include "recorder/SampleRecording.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kFrames = 120;
fs::path g_dir;
std::string g_file;

double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Arg: 1 with the time stamp, 0 without.
void BM_ExportMp4(benchmark::State &state) {
    TZVFFormat zvf(g_file);
    zv::Mp4ExportOptions options;
    options.timeStamp = state.range(0) != 0;
    const std::string target = (g_dir / "out.mp4").string();
    double cpu = 0;
    for (auto _ : state) {
        const double before = processCpuSeconds();
        zv::exportMp4(zvf, target, 0, kFrames - 1, options);
        cpu += processCpuSeconds() - before;
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.counters["cpu_ms_per_frame"] = 1000.0 * cpu / double(state.iterations() * kFrames);
    state.counters["bytes_per_frame"] = double(fs::file_size(target)) / kFrames;
}

BENCHMARK(BM_ExportMp4)
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    g_dir = zvbench::workFolder("zorvideo-bench-mp4");
    g_file = (g_dir / "sample.zvf").string();
    SampleOptions o;
    o.frames = kFrames;
    o.start = 46000.5;
    writeSampleRecording(g_file, o);

    return zvbench::runBenchmarks(argc, argv, g_dir);
}
