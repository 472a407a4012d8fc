// The viewer's costs on 1280 x 1024 sample screens: one frame shown (read, decode, stretched paint)
// against a bare decode and paint of the same bytes, playback at the fastest speed, the first
// paint of the frame list of a full recording, and the memory that viewing takes.
//
// Runs on the offscreen platform; the recordings go to a temporary folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

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
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>

#include "container/GifImage.h"
#include "container/ZVFformatUnit.h"
#include "platform/File.h"
#include "platform/Messages.h"
#include "recording/SampleRecording.h"
#include "viewer/FrameListModel.h"
#include "viewer/ShowVideoUnit.h"

namespace {

constexpr int kSampleFrames = 60;
constexpr QSize kBoxSize(1200, 900);

QTemporaryDir &workDir() {
    static QTemporaryDir dir;
    return dir;
}

const std::string &sampleFile() {
    static const std::string file = [] {
        std::string path = workDir().filePath("sample.zvf").toStdString();
        SampleOptions options;
        options.frames = kSampleFrames;
        options.start = 45'000.5;
        writeSampleRecording(path, options);
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

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
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

// Playback at the fastest speed with the real timer and the real 5 ms sleep, through the sample.
void BM_PlaybackFastest(benchmark::State &state) {
    auto form = openViewer(sampleFile());
    double frames = 0, seconds = 0, cpuSeconds = 0;
    for (auto _ : state) {
        form->RxSlider1->setValue(0);
        QCoreApplication::processEvents();
        QEventLoop loop;
        // Ends with the tick that shows the last frame (that tick stops the timer).
        const QMetaObject::Connection atEnd =
            QObject::connect(form->RxSlider1, &QSlider::valueChanged, &loop, [&](int value) {
                if (value == form->RxSlider1->maximum())
                    loop.quit();
            });
        QElapsedTimer clock;
        clock.start();
        const double cpuStart = processCpuSeconds();
        form->sbPlay3x->click();
        loop.exec();
        cpuSeconds += processCpuSeconds() - cpuStart;
        QObject::disconnect(atEnd);
        seconds += clock.nsecsElapsed() / 1e9;
        frames += kSampleFrames - 1;
    }
    state.counters["frames_per_s"] = frames / seconds;
    // On a shared machine the wall clock counts other programs too; the work per frame plus the
    // 5 ms sleep gives the rate the viewer reaches on a machine of its own.
    const double cpuMs = cpuSeconds * 1000 / frames;
    state.counters["cpu_ms_per_frame"] = cpuMs;
    state.counters["frames_per_s_unshared"] = 1000 / (cpuMs + 5);
}
BENCHMARK(BM_PlaybackFastest)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

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
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
