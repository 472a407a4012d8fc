#include "BenchRecording.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "container/ZVFConstants.h"
#include "platform/Error.h"
#include "platform/File.h"

namespace zvbench {

void writeRecording(const std::string &path, int32_t frames, int32_t frameSize, bool fillBytes) {
    zv::UniqueFd fd = zv::openFile(path, O_RDWR | O_CREAT | O_TRUNC);
    std::vector<uint8_t> index(static_cast<size_t>(frames) * zvf::kEntrySize);
    for (int32_t i = 0; i < frames; ++i) {
        const int64_t offset = int64_t{i} * frameSize;
        const double dateTime = 46000.5 + i / 86400.0;
        zvf::encodeEntry(&index[static_cast<size_t>(i) * zvf::kEntrySize],
                         {offset, dateTime, frameSize});
    }
    zv::writeAt(fd.get(), index.data(), index.size(), zvf::kIndexBase);
    const int64_t total = int64_t{frames} * frameSize;
    if (fillBytes) {
        std::vector<uint8_t> block(size_t{16} << 20);
        uint64_t x = 88172645463325252ull;
        for (auto &b : block) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            b = static_cast<uint8_t>(x);
        }
        for (int64_t at = 0; at < total; at += static_cast<int64_t>(block.size())) {
            const size_t n = static_cast<size_t>(std::min<int64_t>(block.size(), total - at));
            zv::writeAt(fd.get(), block.data(), n, zvf::kDataBase + at);
        }
    } else if (::ftruncate(fd.get(), zvf::kDataBase + total) != 0) {
        throw zv::Error("ftruncate failed");
    }
    const int32_t count = frames;
    zv::writeAt(fd.get(), &count, sizeof count, zvf::kCountPosition);
    ::fsync(fd.get());
}

std::filesystem::path workFolder(const std::string &name) {
    const char *base = std::getenv("ZORVIDEO_BENCH_DIR");
    const std::filesystem::path folder =
        (base ? std::filesystem::path(base) : std::filesystem::temp_directory_path()) / name;
    std::filesystem::create_directories(folder);
    return folder;
}

int runBenchmarks(int argc, char **argv, const std::filesystem::path &folder) {
    // The default goes first: a flag given on the command line comes later and wins.
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char *> args(argv, argv + argc);
    args.insert(args.begin() + (argc > 0 ? 1 : 0), interleave);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!folder.empty())
        std::filesystem::remove_all(folder);
    return 0;
}

benchmark::internal::Benchmark *withMinimum(benchmark::internal::Benchmark *b) {
    return b->ComputeStatistics(
        "min", [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); });
}

}  // namespace zvbench
