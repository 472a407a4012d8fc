// Picture export of 1280x1024 sample frames against decoding the same frames, and against what
// the export did before it wrote stored frames as they are: decode each frame and encode it again
// with giflib (EGifPutLine), a copy of that path kept here only for the comparison.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <QGuiApplication>
#include <cstring>
#include <filesystem>

#include "BenchRecording.h"
#include "container/GifImage.h"
#include "container/ZVFformatUnit.h"
#include "recorder/SampleRecording.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kFrames = 20;
fs::path g_dir;
std::string g_file;

// Decoding only: what the viewer does for each frame.
void BM_DecodeFrames(benchmark::State &state) {
    TZVFFormat zvf(g_file);
    zv::GifImage image;
    for (auto _ : state) {
        for (int32_t i = 0; i < kFrames; ++i) {
            if (!zvf.LoadFrame(i, image))
                state.SkipWithError("load failed");
            benchmark::DoNotOptimize(image.pixels()[0]);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}

// Read, decode, re-encode and write each frame as a GIF file.
void BM_ExportPictures(benchmark::State &state) {
    TZVFFormat zvf(g_file);
    const std::string folder = (g_dir / "pictures").string();
    for (auto _ : state)
        zvf.ExportPictures(folder, 0, kFrames - 1);
    state.SetItemsProcessed(state.iterations() * kFrames);
}

int appendToVector(GifFileType *gif, const GifByteType *data, int length) {
    auto *out = static_cast<std::vector<uint8_t> *>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

struct MemoryInput {
    const std::vector<uint8_t> *bytes;
    size_t at = 0;
};

int readFromMemory(GifFileType *gif, GifByteType *out, int length) {
    auto *in = static_cast<MemoryInput *>(gif->UserData);
    const size_t n = std::min<size_t>(static_cast<size_t>(length), in->bytes->size() - in->at);
    std::memcpy(out, in->bytes->data() + in->at, n);
    in->at += n;
    return static_cast<int>(n);
}

// The picture export as it was: every frame decoded (giflib) and its picture encoded again with
// giflib's encoder, then written.
bool reencodeWithGiflib(const std::vector<uint8_t> &bytes, const std::string &file) {
    MemoryInput input{&bytes};
    int error = 0;
    GifFileType *in = DGifOpen(&input, readFromMemory, &error);
    if (!in || DGifSlurp(in) != GIF_OK || in->ImageCount < 1) {
        DGifCloseFile(in, &error);
        return false;
    }
    const SavedImage &picture = in->SavedImages[0];
    const int w = picture.ImageDesc.Width, h = picture.ImageDesc.Height;
    std::vector<uint8_t> out;
    GifFileType *gif = EGifOpen(&out, appendToVector, &error);
    EGifPutScreenDesc(gif, in->SWidth, in->SHeight, 8, in->SBackGroundColor, in->SColorMap);
    EGifPutImageDesc(gif, picture.ImageDesc.Left, picture.ImageDesc.Top, w, h, false,
                     picture.ImageDesc.ColorMap);
    std::vector<GifPixelType> row(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        std::memcpy(row.data(), picture.RasterBits + static_cast<size_t>(y) * w, row.size());
        EGifPutLine(gif, row.data(), w);
    }
    EGifCloseFile(gif, &error);
    DGifCloseFile(in, &error);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written =
        fd >= 0 && ::write(fd, out.data(), out.size()) == static_cast<ssize_t>(out.size());
    if (fd >= 0)
        ::close(fd);
    return written;
}

void BM_ExportPicturesAsBefore(benchmark::State &state) {
    TZVFFormat zvf(g_file);
    const fs::path folder = g_dir / "pictures-before";
    fs::create_directories(folder);
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        for (int32_t i = 0; i < kFrames; ++i) {
            if (!zvf.ReadFrameBytes(i, bytes).ok() ||
                !reencodeWithGiflib(bytes, (folder / (std::to_string(i) + ".GIF")).string()))
                state.SkipWithError("export failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}

BENCHMARK(BM_DecodeFrames)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportPictures)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportPicturesAsBefore)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    g_dir = zvbench::workFolder("zorvideo-bench-pictures");
    g_file = (g_dir / "sample.zvf").string();
    SampleOptions o;
    o.frames = kFrames;
    o.delayMs = 300;  // several frames per second, as the naming must handle
    o.start = 46000.5;
    writeSampleRecording(g_file, o);

    return zvbench::runBenchmarks(argc, argv, g_dir);
}
