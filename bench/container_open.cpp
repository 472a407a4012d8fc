// Opening a recording and reading its count, for files from 10 MB to 64 GB (sparse): the cost
// must not grow with the file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "BenchRecording.h"
#include "container/ZVFConstants.h"
#include "container/ZVFformatUnit.h"
#include "platform/File.h"

namespace {

std::filesystem::path g_dir;

std::string fileOfSize(int64_t megabytes) {
    std::string name = (g_dir / ("rec-" + std::to_string(megabytes) + ".zvf")).string();
    if (!std::filesystem::exists(name)) {
        zv::UniqueFd fd = zv::openFile(name, O_RDWR | O_CREAT);
        const int64_t length = megabytes * 1'000'000;
        // As many frames as the size suggests at 100 KB each, capped by the capacity.
        const int32_t count = static_cast<int32_t>(
            std::min<int64_t>(zvf::kCapacity, (length - zvf::kDataBase) / 100'000));
        zv::writeAt(fd.get(), &count, 4, 0);
        int64_t offset = int64_t{count - 1} * 100'000;
        int32_t size = 100'000;
        zv::writeAt(fd.get(), &offset, 8, zvf::entryPosition(count - 1));
        zv::writeAt(fd.get(), &size, 4, zvf::entryPosition(count - 1) + 8);
        if (::ftruncate(fd.get(), length) != 0)
            std::abort();
    }
    return name;
}

void BM_OpenAndCount(benchmark::State &state) {
    const std::string name = fileOfSize(state.range(0));
    int32_t n = 0;
    for (auto _ : state) {
        TZVFFormat zvf(name);
        n = zvf.FrameCount();
        benchmark::DoNotOptimize(n);
    }
    state.counters["frames"] = n;
}

BENCHMARK(BM_OpenAndCount)
    ->Arg(11)
    ->Arg(1'000)
    ->Arg(8'000)
    ->Arg(64'000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv) {
    g_dir = zvbench::workFolder("zorvideo-bench-open");
    return zvbench::runBenchmarks(argc, argv, g_dir);
}
