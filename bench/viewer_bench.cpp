// The viewer's costs on sample screens of 1280 x 1024 (and 1920 x 1080 for playback): one frame
// shown (read, decode, stretched paint) against a bare decode and paint of the same bytes,
// playback at the fastest speed with decoding ahead, going to a time in a recording of 499,900
// frames, a frame appended by another process while playing at the end, the first paint of the
// frame list of a full recording, and the memory that viewing takes.
//
// Runs on the offscreen platform; the recordings go to a temporary folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <sys/wait.h>
#include <QApplication>
#include <QBackingStore>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QSlider>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "BenchRecording.h"
#include "container/GifImage.h"
#include "container/ZVFAppender.h"
#include "container/ZVFConstants.h"
#include "container/ZVFformatUnit.h"
#include "platform/File.h"
#include "platform/Messages.h"
#include "recorder/SampleRecording.h"
#include "viewer/FrameListModel.h"
#include "viewer/ShowVideoUnit.h"
#include "viewer/VideoPlayer.h"

namespace {

constexpr int kSampleFrames = 60;
constexpr QSize kBoxSize(1200, 900);
constexpr int32_t kFullCount = 499'900;

// A 64 x 48 screen of four colours.
std::vector<uint8_t> smallScreenGif() {
    QImage screen(64, 48, QImage::Format_RGB888);
    screen.fill(QColor(40, 90, 160));
    std::vector<uint8_t> rgb(static_cast<size_t>(64 * 48 * 3));
    for (int y = 0; y < 48; ++y)
        std::memcpy(&rgb[static_cast<size_t>(y) * 64 * 3], screen.constScanLine(y), 64 * 3);
    return zv::GifImage::encodeRgb(rgb.data(), 64, 48, 16);
}

QTemporaryDir &workDir() {
    static QTemporaryDir dir;
    return dir;
}

// Sample screens of the given size; 1280 x 1024 unless told otherwise.
const std::string &sampleFile(int width = 1280, int height = 1024) {
    static std::map<std::pair<int, int>, std::string> files;
    std::string &file = files[{width, height}];
    if (file.empty()) {
        file = workDir()
                   .filePath(QStringLiteral("sample-%1x%2.zvf").arg(width).arg(height))
                   .toStdString();
        SampleOptions options;
        options.frames = kSampleFrames;
        options.width = width;
        options.height = height;
        options.start = 45'000.5;
        writeSampleRecording(file, options);
    }
    return file;
}

// A full recording (499,900 frames, one a second) of small pictures that all share their bytes:
// the index is real, the decode is next to nothing.
const std::string &fullRecordingFile() {
    static const std::string file = [] {
        std::string path = workDir().filePath("full-frames.zvf").toStdString();
        const std::vector<uint8_t> gif = smallScreenGif();
        std::vector<uint8_t> index(20 * static_cast<size_t>(kFullCount));
        for (int32_t i = 0; i < kFullCount; ++i) {
            TZVFFrameEntry entry;
            entry.Offset = 0;
            entry.Size = static_cast<int32_t>(gif.size());
            entry.DateTime = 45'000.5 + i / 86400.0;
            zvf::encodeEntry(&index[20 * static_cast<size_t>(i)], entry);
        }
        zv::UniqueFd fd = zv::openFile(path, O_RDWR | O_CREAT | O_TRUNC);
        zv::writeAt(fd.get(), index.data(), index.size(), 2000);
        zv::writeAt(fd.get(), gif.data(), gif.size(), 10'000'000);
        const int32_t count = kFullCount;
        zv::writeAt(fd.get(), &count, 4, 0);
        return path;
    }();
    return file;
}

// A recording whose index is full (499,900 entries) while the frames are absent: a sparse file.
const std::string &fullIndexFile() {
    static const std::string file = [] {
        std::string path = workDir().filePath("full.zvf").toStdString();
        zv::UniqueFd fd = zv::openFile(path, O_RDWR | O_CREAT);
        const int32_t count = 499'900;
        zv::writeAt(fd.get(), &count, 4, 0);
        if (::ftruncate(fd.get(), 10'000'000) != 0)
            std::abort();
        return path;
    }();
    return file;
}

double cpuSeconds(clockid_t which) {
    timespec t{};
    clock_gettime(which, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}
double processCpuSeconds() {
    return cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
}
double threadCpuSeconds() {
    return cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
}
double monotonicSeconds() {
    return cpuSeconds(CLOCK_MONOTONIC);
}

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// Notes a paint of a widget that has a size (the list once it is laid out).
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget *widget) : widget_(widget) { widget->installEventFilter(this); }
    bool painted = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        // The paint runs right after the filter, within the same processEvents call.
        if (watched == widget_ && event->type() == QEvent::Paint && !widget_->size().isEmpty())
            painted = true;
        return false;
    }

private:
    QWidget *widget_;
};

// The window as the operator has it: shown, with the picture box about 1200 x 900.
std::unique_ptr<TShowVideoForm> openViewer(const std::string &file) {
    auto form = std::make_unique<TShowVideoForm>();
    if (!form->OpenVideoFile(file))
        std::abort();
    form->resize(kBoxSize.width(), kBoxSize.height() + form->MainPanel->height());
    form->show();
    QCoreApplication::processEvents();
    return form;
}

// Bare work for the same frames: decode the GIF bytes held in memory and paint them stretched
// into an image of the window's format. Argument: the bitmap painted as premultiplied ARGB (1,
// as the viewer does) or as plain ARGB (0).
void BM_BareDecodeAndPaint(benchmark::State &state) {
    TZVFFormat reader(sampleFile());
    std::vector<std::vector<uint8_t>> frames;
    zv::UniqueFd fd = zv::openFile(sampleFile(), O_RDONLY);
    for (int i = 0; i < kSampleFrames; ++i) {
        TZVFFrameEntry entry;
        reader.ReadFrameEntry(i, entry);
        std::vector<uint8_t> bytes(static_cast<size_t>(entry.Size));
        zv::readAt(fd.get(), bytes.data(), bytes.size(), 10'000'000 + entry.Offset);
        frames.push_back(std::move(bytes));
    }
    const QImage::Format format =
        state.range(0) ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32;
    QWidget probe;
    probe.show();
    QCoreApplication::processEvents();
    auto *store = dynamic_cast<QImage *>(probe.backingStore()->paintDevice());
    QImage target(kBoxSize, store ? store->format() : QImage::Format_RGB32);
    zv::GifImage image;
    int i = 0;
    for (auto _ : state) {
        const std::vector<uint8_t> &bytes = frames[static_cast<size_t>(i++ % kSampleFrames)];
        image.loadFromBytes(bytes.data(), bytes.size());
        QImage picture(reinterpret_cast<const uchar *>(image.pixels()), image.width(),
                       image.height(), image.width() * 4, format);
        QPainter painter(&target);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(target.rect(), picture);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareDecodeAndPaint)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The viewer's way: ShowFrame (entry, labels, read, decode) and the paint of the box.
void BM_ShowFrame(benchmark::State &state) {
    auto form = openViewer(sampleFile());
    if (form->pb->size() != kBoxSize)
        state.SkipWithError("unexpected box size");
    int i = 0;
    for (auto _ : state) {
        form->ShowFrame(i++ % kSampleFrames);
        form->pb->repaint();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ShowFrame)->Unit(benchmark::kMillisecond);

// Playback at the fastest speed with the real timer and the real 5 ms pause, through the sample;
// argument 0: 1280 x 1024 screens, 1: 1920 x 1080. The next frame is decoded on the player's
// worker while the current one is painted.
void BM_PlaybackFastest(benchmark::State &state) {
    const bool fullHd = state.range(0) == 1;
    auto form = openViewer(fullHd ? sampleFile(1920, 1080) : sampleFile());
    double frames = 0, seconds = 0, processCpu = 0, uiCpu = 0;
    long rssFirst = 0, rssPeak = 0;
    for (auto _ : state) {
        form->player().setPosition(0);
        QCoreApplication::processEvents();
        QEventLoop loop;
        // Ends with the tick that shows the last frame (that tick stops the timer).
        const QMetaObject::Connection atEnd = QObject::connect(
            &form->player(), &zv::VideoPlayer::positionChanged, &loop, [&](int32_t position) {
                rssPeak = std::max(rssPeak, residentKb());
                if (position == form->player().maximum())
                    loop.quit();
            });
        QElapsedTimer clock;
        clock.start();
        const double processStart = processCpuSeconds();
        const double uiStart = threadCpuSeconds();
        form->sbPlay3x->click();
        loop.exec();
        processCpu += processCpuSeconds() - processStart;
        uiCpu += threadCpuSeconds() - uiStart;
        QObject::disconnect(atEnd);
        seconds += clock.nsecsElapsed() / 1e9;
        frames += kSampleFrames - 1;
        // The first run through allocates the buffers that every later frame reuses.
        if (rssFirst == 0)
            rssFirst = rssPeak = residentKb();
    }
    state.counters["frames_per_s"] = frames / seconds;
    // On a shared machine the wall clock counts other programs too. Unshared, a step costs the
    // window thread's work plus the 5 ms pause and at least the 10 ms tick, and the decoding
    // must keep up: two workers side by side, with the window thread, on the machine's two
    // cores. The slowest of these sets the rate.
    const double uiMs = uiCpu * 1000 / frames;
    const double workerMs = (processCpu - uiCpu) * 1000 / frames;
    state.counters["ui_cpu_ms_per_frame"] = uiMs;
    state.counters["worker_cpu_ms_per_frame"] = workerMs;
    state.counters["frames_per_s_unshared"] =
        1000 /
        std::max({uiMs + 5, 10.0, workerMs / zv::VideoPlayer::kFramesAhead, (uiMs + workerMs) / 2});
    state.counters["decoded_ahead_share"] =
        static_cast<double>(form->player().framesDecodedAhead()) / frames;
    state.counters["rss_kb"] = static_cast<double>(rssFirst);
    state.counters["rss_growth_after_first_kb"] = static_cast<double>(rssPeak - rssFirst);
}
BENCHMARK(BM_PlaybackFastest)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

// Going to a time in a recording of 499,900 frames: from the request to the painted frame. The
// frames are tiny, so what is measured is the search, the read and the paint, not the decode.
void BM_GoToTime(benchmark::State &state) {
    zv::ScopedMessageHandler loud(
        [&state](const std::string &text, zv::MessageKind) { state.SkipWithError(text.c_str()); });
    auto form = openViewer(fullRecordingFile());
    const int32_t count = form->player().count();
    if (count != kFullCount)
        state.SkipWithError("frames missing");
    uint32_t seed = 12345;
    double searchSeconds = 0;
    for (auto _ : state) {
        seed = seed * 1103515245u + 12345u;
        const int32_t wanted = static_cast<int32_t>(seed % static_cast<uint32_t>(count));
        const double at = 45'000.5 + (wanted + 0.5) / 86400.0;
        const double searchStart = monotonicSeconds();
        zv::frameAtOrBefore(*form->videoFile(), count, at);
        searchSeconds += monotonicSeconds() - searchStart;
        form->player().goToTime(at);
        form->pb->repaint();
        if (form->RxSlider1->value() != wanted)
            state.SkipWithError("wrong frame");
    }
    state.counters["search_us"] = searchSeconds * 1e6 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_GoToTime)->Unit(benchmark::kMillisecond)->Iterations(200);

// The decode of one 1280 x 1024 sample frame, the part that going to a time adds to the above.
void BM_DecodeOneSampleFrame(benchmark::State &state) {
    TZVFFormat reader(sampleFile());
    std::vector<uint8_t> bytes;
    if (!reader.ReadFrameBytes(kSampleFrames / 2, bytes).ok())
        state.SkipWithError("unreadable");
    zv::GifImage image;
    for (auto _ : state)
        image.loadFromBytes(bytes.data(), bytes.size());
}
BENCHMARK(BM_DecodeOneSampleFrame)->Unit(benchmark::kMillisecond);

// Another process appends a frame about once a second, as the recorder does, while the viewer
// plays at the end of the recording: the time from the end of each append to the paint of that
// frame. Argument: the playback interval (950 ms of sbPlay, 10 ms of sbPlay3x).
void BM_FollowAppendedFrames(benchmark::State &state) {
    constexpr int kAppends = 8;
    const std::string path = workDir().filePath("live.zvf").toStdString();
    std::filesystem::copy_file(sampleFile(), path,
                               std::filesystem::copy_options::overwrite_existing);
    TZVFFrameEntry last;
    TZVFFormat(path).ReadFrameEntry(kSampleFrames - 1, last);
    std::vector<uint8_t> gif;
    (void)TZVFFormat(sampleFile()).ReadFrameBytes(1, gif);

    auto form = openViewer(path);
    PaintWatch watch(form->pb);
    double worst = 0, sum = 0;
    int seen = 0;
    for (auto _ : state) {
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0)
            std::abort();
        const pid_t child = ::fork();
        if (child == 0) {
            // The recorder: appends with the format's writing order and tells when each is done.
            ::close(pipeEnds[0]);
            ZVFAppender appender(path);
            for (int k = 0; k <= kAppends; ++k) {
                ::usleep(k == 0 ? 0 : 1'000'000 + 37'000 * k);  // not in step with the ticks
                appender.append(gif.data(), gif.size(), last.DateTime + (k + 1) / 86400.0);
                const double done = monotonicSeconds();
                if (::write(pipeEnds[1], &done, sizeof done) != sizeof done)
                    ::_exit(1);
            }
            ::_exit(0);
        }
        ::close(pipeEnds[1]);
        // The first frame makes the recording live (the viewer sees it grow) before playing.
        double firstAppend = 0;
        if (::read(pipeEnds[0], &firstAppend, sizeof firstAppend) != sizeof firstAppend)
            std::abort();
        form->player().refresh();
        form->player().setPosition(form->player().maximum());
        ::fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);  // the event loop must run while we wait
        form->player().play(static_cast<int>(state.range(0)));
        const int32_t first = form->player().count();
        std::vector<double> appendedAt, paintedAt(kAppends, -1);
        watch.painted = false;
        const double deadline = monotonicSeconds() + 30;
        while (paintedAt.back() < 0 && monotonicSeconds() < deadline) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            double done = 0;
            while (::read(pipeEnds[0], &done, sizeof done) == sizeof done)
                appendedAt.push_back(done);
            if (!watch.painted)
                continue;
            // A paint with the position on an appended frame shows it.
            watch.painted = false;
            const double now = monotonicSeconds();
            for (int k = 0; k < kAppends; ++k)
                if (paintedAt[k] < 0 && form->player().position() >= first + k)
                    paintedAt[k] = now;
        }
        for (int k = 0; k < kAppends; ++k) {
            if (paintedAt[k] < 0 || k >= static_cast<int>(appendedAt.size())) {
                state.SkipWithError("an appended frame was not shown");
                break;
            }
            const double latency = paintedAt[k] - appendedAt[static_cast<size_t>(k)];
            worst = std::max(worst, latency);
            sum += latency;
            ++seen;
        }
        ::close(pipeEnds[0]);
        ::waitpid(child, nullptr, 0);
        form->player().pause();
    }
    state.counters["worst_ms"] = worst * 1000;
    state.counters["mean_ms"] = sum * 1000 / seen;
}
BENCHMARK(BM_FollowAppendedFrames)
    ->Arg(950)
    ->Arg(10)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// From the click on "Список кадров" to the first rows painted, for 499,900 frames.
void BM_FrameListFirstPaint(benchmark::State &state) {
    // The sparse recording has no frame bytes; the picture's failure is not what is measured.
    zv::ScopedMessageHandler quiet([](const std::string &, zv::MessageKind) {});
    auto form = openViewer(fullIndexFile());
    PaintWatch watch(form->lvFrames->viewport());
    const long before = residentKb();
    for (auto _ : state) {
        watch.painted = false;
        form->sbFrames->click();
        while (!watch.painted)
            QCoreApplication::processEvents();
        state.PauseTiming();
        if (form->frameList().rowCount() != 499'900)
            state.SkipWithError("rows missing");
        state.counters["rss_growth_kb"] = static_cast<double>(residentKb() - before);
        form->sbFrames->click();  // up again: emptied
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FrameListFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Resident memory while every frame of the sample is shown several times: it must not grow with
// the number of frames viewed.
void BM_MemoryWhileViewing(benchmark::State &state) {
    auto form = openViewer(sampleFile());
    form->ShowFrame(0);
    form->pb->repaint();
    const long start = residentKb();
    long peak = start;
    for (auto _ : state) {
        for (int round = 0; round < 3; ++round)
            for (int i = 0; i < kSampleFrames; ++i) {
                form->ShowFrame(i);
                form->pb->repaint();
                peak = std::max(peak, residentKb());
            }
    }
    state.counters["rss_start_kb"] = static_cast<double>(start);
    state.counters["rss_growth_kb"] = static_cast<double>(peak - start);
}
BENCHMARK(BM_MemoryWhileViewing)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return zvbench::runBenchmarks(argc, argv);
}
