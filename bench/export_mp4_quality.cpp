// Size and picture quality of the MP4 export on 1280x1024 sample screens, for the encoder's
// settings given, against Debian's ffmpeg program with x264 as a reference. Each video is decoded
// by the ffmpeg program (an independent reader) and compared in RGB with the GIF frames it was
// made from: the average over frames of each frame's PSNR. Size is a share of the frames' bytes
// in the ZVF file. The time stamp is off, so that it does not count as a difference.
//
// Usage: export_mp4_quality [--frames N] [--quality 4|8] [--crf 22,24,26] [--preset faster,medium]
//                           [--tune stillimage,none] [--reference 24]
// Without --crf, --preset or --tune the export's own defaults (zv::Mp4Encoding) are measured.
#include <sys/resource.h>
#include <sys/time.h>

#include <QGuiApplication>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "container/GifImage.h"
#include "container/Mp4Export.h"
#include "container/ZVFformatUnit.h"
#include "recorder/SampleRecording.h"

namespace {

namespace fs = std::filesystem;
using Rgb = std::vector<uint8_t>;

struct Settings {
    int frames = 30;
    int quality = 8;
    std::vector<std::string> crfs{std::to_string(zv::Mp4Encoding{}.crf)},
        presets{zv::Mp4Encoding{}.preset}, tunes{zv::Mp4Encoding{}.tune}, params{""};
    std::vector<std::string> references;
};

std::vector<std::string> split(const std::string &list, char separator = ',') {
    std::vector<std::string> out;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, separator);)
        out.push_back(item == "none" ? "" : item);
    return out;
}

double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    auto s = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

// Average of the frames' PSNR, decoded by the ffmpeg program; -1 when the count differs.
double averagePsnr(const std::string &video, const std::vector<Rgb> &frames, int w, int h) {
    const std::string command =
        "ffmpeg -v error -i '" + video + "' -vsync passthrough -f rawvideo -pix_fmt rgb24 -";
    std::FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    Rgb decoded(static_cast<size_t>(w) * h * 3);
    double sum = 0;
    size_t n = 0;
    while (std::fread(decoded.data(), 1, decoded.size(), pipe) == decoded.size()) {
        if (n >= frames.size())
            break;
        double squares = 0;
        for (size_t i = 0; i < decoded.size(); ++i) {
            const double d = double(decoded[i]) - double(frames[n][i]);
            squares += d * d;
        }
        const double mse = squares / double(decoded.size());
        sum += mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
        ++n;
    }
    pclose(pipe);
    return n == frames.size() ? sum / double(n) : -1;
}

void report(const char *what, const std::string &video, double wall, double cpu, int64_t zvfBytes,
            const std::vector<Rgb> &frames, int w, int h) {
    const auto size = static_cast<double>(fs::file_size(video));
    std::printf(
        "%-34s size %8.0f B  %5.1f %% of ZVF  PSNR %6.2f dB  %6.1f frames/s  "
        "cpu %6.1f ms/frame\n",
        what, size, 100.0 * size / double(zvfBytes), averagePsnr(video, frames, w, h),
        double(frames.size()) / wall, 1000.0 * cpu / double(frames.size()));
    std::fflush(stdout);
}

void ourExport(const std::string &zvfFile, const std::string &video, const Settings &s,
               const std::vector<Rgb> &frames, int64_t zvfBytes, int w, int h) {
    for (const std::string &preset : s.presets) {
        for (const std::string &tune : s.tunes) {
            for (const std::string &crf : s.crfs) {
                for (const std::string &params : s.params) {
                    zv::Mp4ExportOptions o;
                    o.timeStamp = false;
                    o.encoding = {std::stoi(crf), preset, tune, params};
                    TZVFFormat zvf(zvfFile);
                    const double cpu0 = cpuSeconds(RUSAGE_SELF);
                    const auto t0 = std::chrono::steady_clock::now();
                    zv::exportMp4(zvf, video, 0, s.frames - 1, o);
                    const std::chrono::duration<double> wall =
                        std::chrono::steady_clock::now() - t0;
                    const double cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
                    const std::string what =
                        "ours crf " + crf + " " + preset + " " + (tune.empty() ? "no tune" : tune);
                    report((what + " " + params).c_str(), video, wall.count(), cpu, zvfBytes,
                           frames, w, h);
                }
            }
        }
    }
}

// The ffmpeg program fed with the decoded frames at 1 frame/s.
void reference(const std::string &video, const std::string &crf, const std::vector<Rgb> &frames,
               int64_t zvfBytes, int w, int h) {
    const std::string command = "ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s " +
                                std::to_string(w) + "x" + std::to_string(h) +
                                " -r 1 -i - -c:v libx264 -crf " + crf +
                                " -tune stillimage -pix_fmt yuv420p '" + video + "'";
    const double cpu0 = cpuSeconds(RUSAGE_CHILDREN);
    const auto t0 = std::chrono::steady_clock::now();
    std::FILE *pipe = popen(command.c_str(), "w");
    for (const Rgb &f : frames)
        std::fwrite(f.data(), 1, f.size(), pipe);
    pclose(pipe);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - t0;
    const double cpu = cpuSeconds(RUSAGE_CHILDREN) - cpu0;
    report(("ffmpeg crf " + crf + " stillimage").c_str(), video, wall.count(), cpu, zvfBytes,
           frames, w, h);
}

Settings parse(int argc, char **argv) {
    Settings s;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--frames")
            s.frames = std::stoi(value);
        else if (name == "--quality")
            s.quality = std::stoi(value);
        else if (name == "--crf")
            s.crfs = split(value);
        else if (name == "--preset")
            s.presets = split(value);
        else if (name == "--tune")
            s.tunes = split(value);
        else if (name == "--params")
            s.params = split(value, ';');
        else if (name == "--reference")
            s.references = split(value);
    }
    return s;
}

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const Settings s = parse(argc, argv);
    const fs::path dir = fs::temp_directory_path() / "zorvideo-bench-mp4-quality";
    fs::create_directories(dir);
    const std::string zvfFile = (dir / "sample.zvf").string();
    SampleOptions o;
    o.frames = s.frames;
    o.quality = s.quality;
    o.start = 46000.5;
    writeSampleRecording(zvfFile, o);

    TZVFFormat zvf(zvfFile);
    int64_t zvfBytes = 0;
    for (const TZVFFrameEntry &e : zvf.ReadFrameEntries(0, s.frames))
        zvfBytes += e.Size;
    std::vector<Rgb> frames;
    zv::GifImage image;
    for (int i = 0; i < s.frames; ++i) {
        zvf.LoadFrame(i, image);
        Rgb rgb(static_cast<size_t>(image.width()) * image.height() * 3);
        for (size_t p = 0; p < rgb.size() / 3; ++p) {
            const uint32_t v = image.pixels()[p];
            rgb[3 * p] = uint8_t(v >> 16), rgb[3 * p + 1] = uint8_t(v >> 8), rgb[3 * p + 2] = v;
        }
        frames.push_back(std::move(rgb));
    }
    const int w = o.width, h = o.height;
    std::printf("%d frames of %dx%d, %d colours, %lld bytes of frames in the ZVF file\n", s.frames,
                w, h, s.quality == 4 ? 16 : 256, static_cast<long long>(zvfBytes));
    const std::string video = (dir / "out.mp4").string();
    for (const std::string &crf : s.references)
        reference(video, crf, frames, zvfBytes, w, h);
    ourExport(zvfFile, video, s, frames, zvfBytes, w, h);
    fs::remove_all(dir);
    return 0;
}
