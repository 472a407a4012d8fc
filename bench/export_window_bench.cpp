// The export window: a move during a drag on a full recording, and a 1 GB ZVF export through the
// window (the export on its own thread, the notice's progress) against `zvf export` of the same
// range, in the same process's page cache and on the same disk.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchRecording.h"
#include "export/VideoExportUnit.h"
#include "export/WaitFormUnit.h"
#include "platform/Messages.h"
#include "widgets/SpinEdit.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kFullRecording = 499'900;
constexpr int32_t kFrames = 10'000;
constexpr int32_t kFrameSize = 100'000;  // 10,000 frames of 100 KB: 1 GB of frame bytes

fs::path g_dir;
std::string g_full;    // 499,900 entries, frame bytes a hole
std::string g_source;  // the 1 GB recording

// pbMouseMove while dragging: four count reads, two entry reads, both labels, and the strip
// drawn off screen and copied to the window (repaint paints at once).
void BM_DragMoveOnAFullRecording(benchmark::State &state) {
    TExportForm form;
    form.OpenForFile(g_full);
    form.show();
    form.rbIntGraph->setChecked(true);
    form.pbMouseDown(10);
    int64_t x = 0;
    for (auto _ : state) {
        x = (x + 37) % 400;
        form.pbMouseMove(x);
        form.pb->repaint();
    }
    form.pbMouseUp();
}

// One export through the window as the operator starts it; returns the bar's moves a second.
double exportThroughWindow(TExportForm &form, const std::string &target) {
    form.edExportFile->setText(QString::fromStdString(target));
    int moves = 0;
    form.setNoticeWatcher([&](TWaitVideoExpForm &notice) {
        QObject::connect(&notice, &TWaitVideoExpForm::barMoved, [&] { ++moves; });
    });
    QElapsedTimer clock;
    clock.start();
    form.BitBtn1Click();
    return moves * 1000.0 / std::max<int64_t>(clock.elapsed(), 1);
}

void BM_Export1GBThroughTheWindow(benchmark::State &state) {
    TExportForm form;
    form.OpenForFile(g_source);
    form.show();
    form.rbExpVideo->setChecked(true);
    form.rbIntFrame->setChecked(true);
    form.seStartFrames->setValue(0);
    form.seEndFrames->setValue(kFrames - 1);
    const std::string target = (g_dir / "window.zvf").string();
    double movesPerSecond = 1e9;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(target);
        ::sync();  // neither side pays for the other's writeback
        state.ResumeTiming();
        movesPerSecond = std::min(movesPerSecond, exportThroughWindow(form, target));
    }
    state.counters["bar_moves_per_s_min"] = movesPerSecond;
    state.SetBytesProcessed(state.iterations() * int64_t{kFrames} * kFrameSize);
}

void BM_Export1GBWithTheZvfTool(benchmark::State &state) {
    const std::string target = (g_dir / "tool.zvf").string();
    const std::string command = std::string(ZVF_TOOL) + " export '" + g_source + "' '" + target +
                                "' 0 " + std::to_string(kFrames - 1);
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(target);
        ::sync();
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("zvf export failed");
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kFrames} * kFrameSize);
}

BENCHMARK(BM_DragMoveOnAFullRecording)->Unit(benchmark::kMicrosecond);
// Repetitions interleaved (runBenchmarks), so that both see the same disk state and load;
// compare the minimum and the median of the repetitions.
void nineSingleRuns(benchmark::internal::Benchmark *b) {
    zvbench::withMinimum(b->Iterations(1)->Repetitions(9))
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_Export1GBWithTheZvfTool)->Apply(nineSingleRuns);
BENCHMARK(BM_Export1GBThroughTheWindow)->Apply(nineSingleRuns);

}  // namespace

int main(int argc, char **argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    zv::ScopedMessageHandler failures([](const std::string &text, zv::MessageKind) {
        std::fprintf(stderr, "export_window_bench: %s\n", text.c_str());
        std::exit(1);
    });
    g_dir = zvbench::workFolder("zorvideo-bench-export-window");
    g_full = (g_dir / "full.zvf").string();
    g_source = (g_dir / "source.zvf").string();
    zvbench::writeRecording(g_full, kFullRecording, 40'000, false);
    zvbench::writeRecording(g_source, kFrames, kFrameSize, true);
    return zvbench::runBenchmarks(argc, argv, g_dir);
}
