#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace zvbench {

// Writes a recording of frames frames of frameSize bytes each, packed back to back as the
// recorder leaves them, taken a second apart. With fillBytes the frame bytes are pseudo-random
// (they are not GIF pictures: a ZVF export copies them raw); without, the data area is a hole of
// a sparse file, for benchmarks that read only the index. Synced to disk before returning.
void writeRecording(const std::string &path, int32_t frames, int32_t frameSize, bool fillBytes);

// The folder a benchmark program works in, made if missing: name under $ZORVIDEO_BENCH_DIR, or
// under the temporary folder.
std::filesystem::path workFolder(const std::string &name);

// Runs the benchmarks that the command line selects, their repetitions interleaved at random
// (--benchmark_enable_random_interleaving=true unless the command line says otherwise), so that
// the two sides of a comparison see the same load, page cache and disk; then removes folder when
// one is given. Returns main's status. Every benchmark program's main ends here.
int runBenchmarks(int argc, char **argv, const std::filesystem::path &folder = {});

// Adds the minimum of the repetitions to the statistics, for figures on a shared machine where
// the median carries the load of others.
benchmark::internal::Benchmark *withMinimum(benchmark::internal::Benchmark *b);

}  // namespace zvbench
