// The settings window's watch on the recorder: IsServiceRunning with 300 top-level windows on
// the display, bare and framed by a reparenting window manager (openbox), and how responsive the
// window stays during the 3 s wait after "Остановить" (the longest gap between the ticks of a
// 10 ms timer while the wait runs).
//
// Needs an X display: xvfb-run -a -s "-screen 0 1280x1024x24" recording_service_bench
// Beside the wall-clock time, which a busy machine stretches (every answer waits for the
// server to be scheduled), it reports the processor time of the display server per call
// (server_cpu_ms), read from /proc when the server is an Xvfb of this machine: the client's and
// the server's processor time together are what a call costs on an idle machine.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "BenchRecording.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/FreeSpace.h"
#include "platform/ProcessStart.h"
#include "platform/WindowList.h"
#include "recording/VideoUnit.h"
#include "support/Fakes.h"
#include "support/TestWindows.h"
#include "support/XServer.h"

namespace {

using zvtest::processCpuMs;

constexpr int kWindows = 300;

// The Xvfb process that serves $DISPLAY, or 0.
int displayServerPid() {
    const char *display = std::getenv("DISPLAY");
    if (!display)
        return 0;
    const std::string wanted = std::string(display).substr(0, std::string(display).find('.'));
    std::unique_ptr<DIR, int (*)(DIR *)> proc(::opendir("/proc"), ::closedir);
    while (dirent *entry = proc ? ::readdir(proc.get()) : nullptr) {
        const int pid = std::atoi(entry->d_name);
        std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline");
        std::string arg;
        bool xvfb = false, ours = false;
        while (pid > 0 && std::getline(in, arg, '\0')) {
            xvfb = xvfb || arg.find("Xvfb") != std::string::npos;
            ours = ours || arg == wanted;
        }
        if (xvfb && ours)
            return pid;
    }
    return 0;
}

// 300 mapped top-level windows, none of them the recorder, so that every title is read.
zvtest::TestWindows &manyWindows() {
    static zvtest::TestWindows windows;
    static const bool made = [] {
        for (int i = 0; i < kWindows; ++i)
            windows.create("Operator window " + std::to_string(i), true);
        return true;
    }();
    (void)made;
    return windows;
}

void runIsServiceRunning(benchmark::State &state) {
    std::unique_ptr<zv::WindowList> list = zv::makeX11WindowList();
    TRecordingSettings settings;
    zvtest::FakeProcessStarter processes;
    zvtest::FakeAutostart autostart;
    zvtest::FakeFreeSpace freeSpace;
    TVideoForm form(settings, {&zv::systemClock(), list.get(), &processes, &autostart, &freeSpace});
    const int server = displayServerPid();
    const double serverBefore = server ? processCpuMs(server) : 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(form.IsServiceRunning());
    if (server) {
        state.counters["server_cpu_ms"] =
            (processCpuMs(server) - serverBefore) / static_cast<double>(state.iterations());
    }
    state.counters["top_level_windows"] = static_cast<double>(list->windows().size());
}

void BM_IsServiceRunning_Bare(benchmark::State &state) {
    manyWindows();
    runIsServiceRunning(state);
}
BENCHMARK(BM_IsServiceRunning_Bare)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_IsServiceRunning_Openbox(benchmark::State &state) {
    manyWindows();
    static QTemporaryDir home;
    static zvtest::WindowManager manager(home.path().toStdString());
    zvtest::TestWindows probe;
    const uint32_t last = probe.create("last", true);
    probe.waitManaged(last);
    runIsServiceRunning(state);
}
BENCHMARK(BM_IsServiceRunning_Openbox)->Unit(benchmark::kMillisecond)->UseRealTime();

// The wait runs inside the press of "Остановить", with the real clock; a 10 ms timer stands for
// the paint and input events that must keep coming.
void BM_StopWaitLongestTickGap(benchmark::State &state) {
    TRecordingSettings settings;
    zvtest::FakeWindowList windows;
    zvtest::FakeProcessStarter processes;
    zvtest::FakeAutostart autostart;
    zvtest::FakeFreeSpace freeSpace;
    TVideoForm form(settings, {&zv::systemClock(), &windows, &processes, &autostart, &freeSpace});
    form.show();
    double longest = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        qint64 previous = -1, gap = 0;
        QTimer ticks;
        ticks.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            if (previous >= 0)
                gap = std::max(gap, now - previous);
            previous = now;
        });
        ticks.start(10);
        clock.start();
        form.bStopClick();
        longest = std::max(longest, gap / 1e6);
    }
    state.counters["longest_gap_ms"] = longest;
}
BENCHMARK(BM_StopWaitLongestTickGap)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    return zvbench::runBenchmarks(argc, argv);
}
