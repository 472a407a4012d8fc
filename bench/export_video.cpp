// ZVF export of a 1 GB range against `cp` of the same source file on the same disk, followed by
// a sync of the copy: the export syncs its target before it reports success, so like is compared
// with like.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchRecording.h"
#include "container/ZVFformatUnit.h"
#include "platform/File.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kFrames = 10'000;
constexpr int32_t kFrameSize = 100'000;  // 10,000 frames of 100 KB: 1 GB of frame bytes

fs::path g_dir;
std::string g_source;

void BM_ExportVideo1GB(benchmark::State &state) {
    TZVFFormat zvf(g_source);
    const std::string target = (g_dir / "export.zvf").string();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(target);
        ::sync();  // neither side pays for the other's writeback
        state.ResumeTiming();
        zvf.ExportVideo(target, 0, kFrames - 1, false);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kFrames} * kFrameSize);
}

void BM_CpSameFile(benchmark::State &state) {
    const std::string target = (g_dir / "copy.zvf").string();
    const std::string command = "cp '" + g_source + "' '" + target + "' && sync '" + target + "'";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(target);
        ::sync();  // neither side pays for the other's writeback
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("cp failed");
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kFrames} * kFrameSize);
}

// Repetitions interleaved (runBenchmarks), so that both see the same state of the page cache and
// the disk.
BENCHMARK(BM_CpSameFile)
    ->Iterations(3)
    ->Repetitions(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportVideo1GB)
    ->Iterations(3)
    ->Repetitions(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    g_dir = zvbench::workFolder("zorvideo-bench-export");
    g_source = (g_dir / "source.zvf").string();
    zvbench::writeRecording(g_source, kFrames, kFrameSize, true);
    return zvbench::runBenchmarks(argc, argv, g_dir);
}
