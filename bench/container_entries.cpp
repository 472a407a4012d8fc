// ReadFrameEntries of a full index (499,900 entries) against one 10 MB read of the index area.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "BenchRecording.h"
#include "container/ZVFAppender.h"
#include "container/ZVFConstants.h"
#include "container/ZVFformatUnit.h"
#include "platform/File.h"

namespace {

std::string g_file;

void makeFullIndex() {
    const std::filesystem::path dir = zvbench::workFolder("zorvideo-bench-entries");
    g_file = (dir / "full.zvf").string();
    zv::UniqueFd fd = zv::openFile(g_file, O_RDWR | O_CREAT | O_TRUNC);
    std::vector<uint8_t> index(static_cast<size_t>(zvf::kCapacity) * zvf::kEntrySize);
    for (int32_t i = 0; i < zvf::kCapacity; ++i) {
        int64_t offset = int64_t{i} * 100;
        int32_t size = 100;
        double at = 46000.0 + i / 86400.0;
        zvf::encodeEntry(&index[static_cast<size_t>(i) * zvf::kEntrySize], {offset, at, size});
    }
    zv::writeAt(fd.get(), index.data(), index.size(), zvf::kIndexBase);
    int32_t count = zvf::kCapacity;
    zv::writeAt(fd.get(), &count, 4, 0);
    // The frames' area exists (sparse) so that the file is a whole recording.
    if (::ftruncate(fd.get(), zvf::kDataBase + int64_t{zvf::kCapacity} * 100) != 0)
        std::abort();
}

void BM_ReadIndexArea10MB(benchmark::State &state) {
    zv::UniqueFd fd = zv::openFile(g_file, O_RDONLY);
    std::vector<uint8_t> buffer(static_cast<size_t>(zvf::kCapacity) * zvf::kEntrySize);
    for (auto _ : state) {
        size_t got = zv::readAt(fd.get(), buffer.data(), buffer.size(), zvf::kIndexBase);
        benchmark::DoNotOptimize(buffer[got - 1]);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer.size()));
}

void BM_ReadFrameEntriesAll(benchmark::State &state) {
    TZVFFormat zvf(g_file);
    for (auto _ : state) {
        auto entries = zvf.ReadFrameEntries(0, zvf::kCapacity);
        if (entries.size() != static_cast<size_t>(zvf::kCapacity))
            state.SkipWithError("short");
        benchmark::DoNotOptimize(entries.back().DateTime);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * zvf::kCapacity * zvf::kEntrySize);
}

// The same into a vector the caller keeps: what the frame list and the time search use.
void BM_ReadFrameEntriesAllReused(benchmark::State &state) {
    TZVFFormat zvf(g_file);
    std::vector<TZVFFrameEntry> entries;
    for (auto _ : state) {
        zvf.ReadFrameEntries(0, zvf::kCapacity, entries);
        if (entries.size() != static_cast<size_t>(zvf::kCapacity))
            state.SkipWithError("short");
        benchmark::DoNotOptimize(entries.back().DateTime);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * zvf::kCapacity * zvf::kEntrySize);
}

// One entry at a time, as the original reader did: the reason the bulk read exists.
void BM_ReadFrameEntryLoop(benchmark::State &state) {
    TZVFFormat zvf(g_file);
    for (auto _ : state) {
        TZVFFrameEntry e;
        for (int32_t i = 0; i < zvf::kCapacity; ++i)
            zvf.ReadFrameEntry(i, e);
        benchmark::DoNotOptimize(e.DateTime);
    }
}

BENCHMARK(BM_ReadIndexArea10MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFrameEntriesAll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFrameEntriesAllReused)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFrameEntryLoop)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char **argv) {
    makeFullIndex();
    return zvbench::runBenchmarks(argc, argv, std::filesystem::path(g_file).parent_path());
}
