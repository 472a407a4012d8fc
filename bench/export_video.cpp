// ZVF export of a 1 GB range against `cp` of the same source file on the same disk.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "container/ZVFformatUnit.h"
#include "platform/File.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kFrames = 10'000;
constexpr int32_t kFrameSize = 100'000;  // 10,000 frames of 100 KB: 1 GB of frame bytes

fs::path g_dir;
std::string g_source;

// A recording of kFrames frames packed back to back, as the recorder leaves it. The bytes are
// not GIF pictures: the export copies them raw.
void writeSource() {
    zv::UniqueFd fd = zv::openFile(g_source, O_RDWR | O_CREAT | O_TRUNC);
    std::vector<uint8_t> index(static_cast<size_t>(kFrames) * 20);
    for (int32_t i = 0; i < kFrames; ++i) {
        const int64_t offset = int64_t{i} * kFrameSize;
        const int32_t size = kFrameSize;
        const double dateTime = 46000.5 + i / 86400.0;
        zvf::encodeEntry(&index[static_cast<size_t>(i) * zvf::kEntrySize],
                         {offset, dateTime, size});
    }
    zv::writeAt(fd.get(), index.data(), index.size(), 2000);
    std::vector<uint8_t> block(size_t{16} << 20);
    uint64_t x = 88172645463325252ull;
    for (auto &b : block) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        b = static_cast<uint8_t>(x);
    }
    const int64_t total = int64_t{kFrames} * kFrameSize;
    for (int64_t at = 0; at < total; at += static_cast<int64_t>(block.size())) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(block.size(), total - at));
        zv::writeAt(fd.get(), block.data(), n, 10'000'000 + at);
    }
    const int32_t count = kFrames;
    zv::writeAt(fd.get(), &count, 4, 0);
    ::fsync(fd.get());
}

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
    const std::string command = "cp '" + g_source + "' '" + target + "'";
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

// Alternated, so that both see the same state of the page cache and the disk.
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
    g_dir = fs::path(std::getenv("ZORVIDEO_BENCH_DIR") ? std::getenv("ZORVIDEO_BENCH_DIR")
                                                       : fs::temp_directory_path().string()) /
            "zorvideo-bench-export";
    fs::create_directories(g_dir);
    g_source = (g_dir / "source.zvf").string();
    writeSource();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(g_dir);
    return 0;
}
