// The time-interval search over a full index of 499,900 frames.
#include <benchmark/benchmark.h>
#include <fcntl.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchRecording.h"
#include "container/ZVFformatUnit.h"
#include "platform/Error.h"
#include "platform/File.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kFrames = 499'900;
constexpr double kBase = 46000.5;
constexpr double kSecond = 1.0 / 86400.0;

fs::path g_dir;
std::string g_source;

// Every entry names the same one-byte frame: the search reads only date-times.
void writeSource() {
    zv::UniqueFd fd = zv::openFile(g_source, O_RDWR | O_CREAT | O_TRUNC);
    std::vector<uint8_t> index(static_cast<size_t>(kFrames) * 20);
    for (int32_t i = 0; i < kFrames; ++i) {
        const int64_t offset = 0;
        const int32_t size = 1;
        const double dateTime = kBase + i * kSecond;
        zvf::encodeEntry(&index[static_cast<size_t>(i) * zvf::kEntrySize],
                         {offset, dateTime, size});
    }
    zv::writeAt(fd.get(), index.data(), index.size(), 2000);
    zv::writeAt(fd.get(), "G", 1, 10'000'000);
    const int32_t count = kFrames;
    zv::writeAt(fd.get(), &count, 4, 0);
}

// An interval between the two middle frames: each end scans half of the index and the export
// copies two one-byte frames.
void BM_IntervalInTheMiddle(benchmark::State &state) {
    TZVFFormat zvf(g_source);
    const std::string target = (g_dir / "mid.zvf").string();
    const double t = kBase + (kFrames / 2) * kSecond;
    for (auto _ : state)
        zvf.ExportVideoByTime(target, false, t + 0.25 * kSecond, t + 0.5 * kSecond);
}

// A start later than every frame: the upward search reads the whole index and finds nothing.
void BM_NoFrameAfterStart(benchmark::State &state) {
    TZVFFormat zvf(g_source);
    const std::string target = (g_dir / "none.zvf").string();
    const double late = kBase + (kFrames + 10) * kSecond;
    for (auto _ : state) {
        try {
            zvf.ExportVideoByTime(target, false, late, late + 1);
            state.SkipWithError("the search found a frame");
        } catch (const zv::Error &) {
        }
    }
}

BENCHMARK(BM_IntervalInTheMiddle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoFrameAfterStart)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    g_dir = zvbench::workFolder("zorvideo-bench-time-search");
    g_source = (g_dir / "source.zvf").string();
    writeSource();
    return zvbench::runBenchmarks(argc, argv, g_dir);
}
