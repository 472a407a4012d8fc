// LoadFrame of a 1280x1024 sample frame against a bare giflib decode of the same bytes.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "BenchRecording.h"
#include "container/GifImage.h"
#include "container/ZVFformatUnit.h"
#include "recorder/SampleRecording.h"

namespace {

std::string g_file;

struct Memory {
    const std::vector<uint8_t> *bytes;
    size_t pos;
};

int readMemory(GifFileType *gif, GifByteType *out, int n) {
    auto *m = static_cast<Memory *>(gif->UserData);
    size_t k = std::min(static_cast<size_t>(n), m->bytes->size() - m->pos);
    std::memcpy(out, m->bytes->data() + m->pos, k);
    m->pos += k;
    return static_cast<int>(k);
}

std::vector<uint8_t> frameBytes(int index) {
    TZVFFormat zvf(g_file);
    TZVFFrameEntry e;
    zvf.ReadFrameEntry(index, e);
    std::vector<uint8_t> bytes(static_cast<size_t>(e.Size));
    FILE *f = std::fopen(g_file.c_str(), "rb");
    std::fseek(f, 10'000'000 + e.Offset, SEEK_SET);
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size())
        std::abort();
    std::fclose(f);
    return bytes;
}

void BM_BareGiflibDecode(benchmark::State &state) {
    std::vector<uint8_t> bytes = frameBytes(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Memory m{&bytes, 0};
        int error = 0;
        GifFileType *gif = DGifOpen(&m, readMemory, &error);
        if (!gif || DGifSlurp(gif) != GIF_OK)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits[0]);
        DGifCloseFile(gif, &error);
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
}

void BM_LoadFrameReusedImage(benchmark::State &state) {
    TZVFFormat zvf(g_file);
    zv::GifImage image;
    const int index = static_cast<int>(state.range(0));
    for (auto _ : state) {
        if (!zvf.LoadFrame(index, image))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(image.pixels()[0]);
    }
}

void BM_LoadFrameNewImage(benchmark::State &state) {
    TZVFFormat zvf(g_file);
    const int index = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto image = zvf.LoadFrame(index);
        benchmark::DoNotOptimize(image->pixels()[0]);
    }
}

// Frames 0 and 7 differ in content (7 shows more sales rows filled in, 27 the printer dialog).
BENCHMARK(BM_BareGiflibDecode)->Arg(0)->Arg(27)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFrameReusedImage)->Arg(0)->Arg(27)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFrameNewImage)->Arg(0)->Arg(27)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::filesystem::path dir = zvbench::workFolder("zorvideo-bench-load");
    g_file = (dir / "sample.zvf").string();
    SampleOptions o;
    o.frames = 30;
    o.start = 46000.5;
    writeSampleRecording(g_file, o);

    return zvbench::runBenchmarks(argc, argv, dir);
}
