// Change finding: a full index where every size differs (sizes decide everything), the activity
// profile of a full index for a strip of 1,000 pixels, and the next change across a still run
// of 36,000 frames (ten hours at one frame a second), whose bytes must all be compared. The files
// lie in the page cache (warm); bench/changes_vs_cat.sh measures the program against cat, warm
// and cold.
#include <benchmark/benchmark.h>
#include <fcntl.h>

#include <vector>

#include "BenchRecording.h"
#include "container/ChangeFinder.h"
#include "container/ZVFConstants.h"
#include "platform/File.h"

namespace {

std::filesystem::path g_folder;
std::string g_sizes;  // 499,900 entries, every size different from the one before
std::string g_still;  // 36,000 equal frames of kStillFrame bytes, then one that differs

constexpr int32_t kStillFrames = 36'000;
constexpr int32_t kStillFrame = 100'000;  // a 1280 x 1024 operator screen at 256 colours

void writeIndex(zv::UniqueFd &fd, const std::vector<TZVFFrameEntry> &entries) {
    std::vector<uint8_t> index(entries.size() * zvf::kEntrySize);
    for (size_t i = 0; i < entries.size(); ++i)
        zvf::encodeEntry(&index[i * zvf::kEntrySize], entries[i]);
    zv::writeAt(fd.get(), index.data(), index.size(), zvf::kIndexBase);
    const auto count = static_cast<int32_t>(entries.size());
    zv::writeAt(fd.get(), &count, sizeof count, zvf::kCountPosition);
}

void makeSizesFile() {
    g_sizes = (g_folder / "sizes.zvf").string();
    zv::UniqueFd fd = zv::openFile(g_sizes, O_RDWR | O_CREAT | O_TRUNC);
    std::vector<TZVFFrameEntry> entries(zvf::kCapacity);
    int64_t offset = 0;
    for (int32_t i = 0; i < zvf::kCapacity; ++i) {
        entries[static_cast<size_t>(i)] = {offset, 46000.5 + i / 86400.0, 1000 + i % 2};
        offset += 1000 + i % 2;
    }
    writeIndex(fd, entries);
    const uint8_t end = 0;  // the frames' area as a hole
    zv::writeAt(fd.get(), &end, 1, zvf::kDataBase + offset - 1);
}

void makeStillFile() {
    g_still = (g_folder / "still.zvf").string();
    zv::UniqueFd fd = zv::openFile(g_still, O_RDWR | O_CREAT | O_TRUNC);
    std::vector<uint8_t> frame(kStillFrame);
    uint64_t x = 88172645463325252ull;
    for (auto &b : frame) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        b = static_cast<uint8_t>(x);
    }
    std::vector<TZVFFrameEntry> entries(kStillFrames + 1);
    std::vector<uint8_t> block(frame.size() * 64);
    for (size_t k = 0; k < 64; ++k)
        std::copy(frame.begin(), frame.end(), block.begin() + static_cast<long>(k * frame.size()));
    for (int32_t i = 0; i <= kStillFrames; ++i)
        entries[static_cast<size_t>(i)] = {int64_t{i} * kStillFrame, 46000.5 + i / 86400.0,
                                           kStillFrame};
    for (int32_t i = 0; i < kStillFrames; i += 64) {
        const size_t n = static_cast<size_t>(std::min(64, kStillFrames - i)) * kStillFrame;
        zv::writeAt(fd.get(), block.data(), n, zvf::kDataBase + int64_t{i} * kStillFrame);
    }
    frame[kStillFrame / 2] ^= 1;  // the last frame: one byte in the middle differs
    zv::writeAt(fd.get(), frame.data(), frame.size(),
                zvf::kDataBase + int64_t{kStillFrames} * kStillFrame);
    writeIndex(fd, entries);
}

std::unique_ptr<zv::RandomFile> open(const std::string &path) {
    return zv::localFileSystem().open(path, zv::FileSystem::OpenMode::Read);
}

void BM_FindChangesEverySizeDiffers(benchmark::State &state) {
    auto file = open(g_sizes);
    for (auto _ : state) {
        const std::vector<int32_t> starts = zvf::findChanges(*file, 0, zvf::kCapacity - 1);
        if (starts.size() != static_cast<size_t>(zvf::kCapacity))
            state.SkipWithError("not every frame is a change");
        benchmark::DoNotOptimize(starts.back());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * zvf::kCapacity);
}

void BM_ActivityProfileOfAFullIndex(benchmark::State &state) {
    auto file = open(g_sizes);
    for (auto _ : state) {
        zvf::SizeActivity activity;
        activity.update(*file, zvf::kCapacity);
        const std::vector<uint8_t> columns = activity.columns(1000, 0, zvf::kCapacity - 1);
        if (activity.frames() != zvf::kCapacity || columns.size() != 1000 || !columns[999])
            state.SkipWithError("wrong profile");
        benchmark::DoNotOptimize(columns.data());
    }
}

void BM_NextChangeAcrossAStillRun(benchmark::State &state) {
    auto file = open(g_still);
    for (auto _ : state) {
        const std::optional<int32_t> next = zvf::nextChange(*file, 0);
        if (next != kStillFrames)
            state.SkipWithError("the change was not found");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (kStillFrames + 1) * kStillFrame);
}

}  // namespace

BENCHMARK(BM_FindChangesEverySizeDiffers)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->Apply([](auto *b) { zvbench::withMinimum(b); });
BENCHMARK(BM_ActivityProfileOfAFullIndex)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->Apply([](auto *b) { zvbench::withMinimum(b); });
BENCHMARK(BM_NextChangeAcrossAStillRun)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->Apply([](auto *b) { zvbench::withMinimum(b); });

int main(int argc, char **argv) {
    g_folder = zvbench::workFolder("zorvideo-bench-changes");
    makeSizesFile();
    makeStillFile();
    return zvbench::runBenchmarks(argc, argv, g_folder);
}
