// What the recorder's durable order costs per frame. The writer appends a frame of the size an
// operator screen takes (35 KB at normal quality, 65 KB at high); its data sync and the count
// follow on the committer's thread. Three figures per case:
//   BM_AppendDurable      the frame's time in the recorder's loop (what each frame waits);
//   BM_AppendAndCommit    until the frame is synced and counted (what a power cut may lose,
//                         and how late a reader sees the frame);
//   BM_AppendWithoutSync  a plain append without any sync (the order before).
// Frames are paced as the recorder paces them, one a second and one every 40 ms, since what a
// sync has to flush depends on what else the disk holds dirty; the pause is not timed.
//
// The folder is $ZORVIDEO_BENCH_DIR or the temporary folder: point it at the disk the recordings
// go to. Run with --benchmark_repetitions=N; the minimum is reported beside the median.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "BenchRecording.h"
#include "container/ZVFAppender.h"
#include "platform/DateTime.h"
#include "recorder/RecordingWriter.h"

namespace {

std::filesystem::path folder() {
    static const std::filesystem::path f = zvbench::workFolder("recorder_sync");
    return f;
}

enum class Mode { Durable, DurableAndCommit, Plain };

// Appends state.range(1)-byte frames paced state.range(0) ms apart: through the recorder's
// writer (sync before the count), timing the append alone or until it is counted, or through a
// plain appender without a sync.
void appendPaced(benchmark::State &state, Mode mode) {
    const bool durable = mode != Mode::Plain;
    const auto pace = std::chrono::milliseconds(state.range(0));
    const std::vector<uint8_t> frame(static_cast<size_t>(state.range(1)), 0x5A);
    const std::string file = (folder() / (durable ? "durable.zvf" : "plain.zvf")).string();
    std::filesystem::remove(file);
    zv::RecordingWriter writer(zv::localFileSystem(), {});
    std::unique_ptr<ZVFAppender> plain;
    if (!durable) {
        plain = std::make_unique<ZVFAppender>(file);
        plain->append(frame.data(), frame.size(), 1.0);
    } else {
        writer.append(file, 0, frame, 1.0);
    }
    double at = 2.0;
    for (auto _ : state) {
        state.PauseTiming();
        std::this_thread::sleep_for(pace);
        state.ResumeTiming();
        at += 1.0 / 86'400;
        if (durable)
            writer.append(file, 0, frame, at);
        else
            plain->append(frame.data(), frame.size(), at);
        if (mode == Mode::DurableAndCommit)
            writer.flush();
    }
}

void BM_AppendDurable(benchmark::State &state) {
    appendPaced(state, Mode::Durable);
}
void BM_AppendAndCommit(benchmark::State &state) {
    appendPaced(state, Mode::DurableAndCommit);
}
void BM_AppendWithoutSync(benchmark::State &state) {
    appendPaced(state, Mode::Plain);
}

void cases(benchmark::internal::Benchmark *b) {
    zvbench::withMinimum(b);
    b->ArgNames({"pace_ms", "frame_bytes"})
        ->Args({1000, 35'000})
        ->Args({40, 35'000})
        ->Args({40, 65'000})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

}  // namespace

BENCHMARK(BM_AppendDurable)->Apply(cases)->Iterations(30);
BENCHMARK(BM_AppendAndCommit)->Apply(cases)->Iterations(30);
BENCHMARK(BM_AppendWithoutSync)->Apply(cases)->Iterations(30);

int main(int argc, char **argv) {
    return zvbench::runBenchmarks(argc, argv, folder());
}
