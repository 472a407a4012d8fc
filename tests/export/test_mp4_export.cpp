// MP4 export, checked with Debian's ffprobe and ffmpeg as independent readers: timing, pictures,
// padding, unreadable frames, the bounds rules and what is left on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QString>
#include <QStringList>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "container/GifImage.h"
#include "container/Mp4Export.h"
#include "container/PlaybackTiming.h"
#include "container/ZVFAppender.h"
#include "container/ZVFformatUnit.h"
#include "platform/Error.h"
#include "platform/PartFile.h"
#include "recorder/SampleRecording.h"
#include "support/ErrorOf.h"
#include "support/PlantedLinks.h"
#include "support/TempRoot.h"
#include "support/ToolProcess.h"

namespace fs = std::filesystem;

namespace {

const std::string kBadBounds = "Недопустимые границы экспорта";
const std::string kBadInterval = "Неверно указан временной интервал экспорта";
const std::string kSameFile = "Файл экспорта совпадает с исходным файлом видео";
// 2010-12-31 12:00:00 and one second of it.
constexpr double kBase = 40543.5;
constexpr double kSecond = 1.0 / 86'400.0;

using Rgb = std::vector<uint8_t>;

using zvtest::errorOf;

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            out.push_back(line);
    return out;
}

// What ffprobe reads from a video.
struct Probe {
    std::string codec, pixelFormat;
    int width = 0, height = 0;
    double duration = 0;
    std::vector<int64_t> pts;  // ms
};

Probe probe(const std::string &video) {
    Probe p;
    zvtest::ToolOutcome r =
        zvtest::runTool("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                    "stream=codec_name,pix_fmt,width,height:format=duration", "-of",
                                    "default=noprint_wrappers=1", QString::fromStdString(video)});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const std::string &line : lines(r.out)) {
        const size_t eq = line.find('=');
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "codec_name")
            p.codec = value;
        else if (key == "pix_fmt")
            p.pixelFormat = value;
        else if (key == "width")
            p.width = std::stoi(value);
        else if (key == "height")
            p.height = std::stoi(value);
        else if (key == "duration")
            p.duration = std::stod(value);
    }
    r = zvtest::runTool("ffprobe",
                        {"-v", "error", "-select_streams", "v:0", "-show_entries", "frame=pts_time",
                         "-of", "csv=p=0", QString::fromStdString(video)});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const std::string &line : lines(r.out))
        p.pts.push_back(std::llround(std::stod(line) * 1000.0));
    return p;
}

// Every picture of the video as RGB, decoded by ffmpeg.
std::vector<Rgb> decodeFrames(const std::string &video, int width, int height) {
    zvtest::ToolOutcome r =
        zvtest::runTool("ffmpeg", {"-v", "error", "-i", QString::fromStdString(video), "-vsync",
                                   "passthrough", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    EXPECT_EQ(r.status, 0) << r.err;
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    std::vector<Rgb> frames;
    for (size_t at = 0; size > 0 && at + size <= r.out.size(); at += size)
        frames.emplace_back(r.out.begin() + static_cast<ptrdiff_t>(at),
                            r.out.begin() + static_cast<ptrdiff_t>(at + size));
    return frames;
}

// The pixels of a decoded GIF frame as RGB.
Rgb rgbOf(const std::vector<uint8_t> &gif) {
    zv::GifImage image;
    image.loadFromBytes(gif.data(), gif.size());
    Rgb rgb;
    for (int i = 0; i < image.width() * image.height(); ++i) {
        const uint32_t v = image.pixels()[i];
        rgb.insert(rgb.end(), {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    }
    return rgb;
}

// PSNR of the w x h picture a against the part of b (bw pixels wide) at its top left.
double psnr(const Rgb &a, int w, int h, const Rgb &b, int bw) {
    double squares = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x) {
            const double d = double(a[size_t(y * w * 3 + x)]) - double(b[size_t(y * bw * 3 + x)]);
            squares += d * d;
        }
    const double mse = squares / (double(w) * h * 3);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

std::vector<uint8_t> flatGif(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    Rgb rgb;
    for (int i = 0; i < width * height; ++i)
        rgb.insert(rgb.end(), {r, g, b});
    return zv::GifImage::encodeRgb(rgb.data(), width, height, 256);
}

class Mp4Export : public ::testing::Test {
protected:
    zvtest::TempRoot root;
    std::string source = "C:\\VELD\\rec.zvf";
    std::vector<std::vector<uint8_t>> gifs;
    zv::Mp4ExportOptions plain;  // no time stamp: pictures compare with their frames

    void SetUp() override {
        fs::create_directories(root.file("drive_c/VELD"));
        fs::create_directories(root.file("drive_c/Exp"));
        plain.timeStamp = false;
    }
    // Frames of flat colours, frame i taken at kBase + seconds[i].
    void record(const std::vector<double> &seconds, int width = 32, int height = 24) {
        ZVFAppender out(source);
        for (double s : seconds) {
            const int i = static_cast<int>(gifs.size());
            gifs.push_back(flatGif(width, height, uint8_t(40 * i % 256),
                                   uint8_t(200 - 30 * i % 200), uint8_t(90 + 50 * i % 160)));
            out.append(gifs.back().data(), gifs.back().size(), kBase + s * kSecond);
        }
    }
    void appendBytes(const std::string &bytes, double seconds) {
        ZVFAppender out(source);
        gifs.emplace_back(bytes.begin(), bytes.end());
        out.append(bytes.data(), bytes.size(), kBase + seconds * kSecond);
    }
    std::string exp(const std::string &name) { return root.file("drive_c/Exp/" + name); }
};

}  // namespace

TEST_F(Mp4Export, FramesPlayAtTheirRecordedTimesWithLongPausesCut) {
    // 1 s, 1.5 s, 0.5 s, an hour's pause, 1.2 s; then one more frame after a 0.8 s interval.
    record({0, 1, 2.5, 3, 3603, 3604.2, 3605});
    TZVFFormat zvf(source);

    zv::exportMp4(zvf, "C:\\Exp\\a.mp4", 0, 5, plain);
    Probe p = probe(exp("a.mp4"));
    EXPECT_EQ(p.codec, "h264");
    EXPECT_EQ(p.pixelFormat, "yuv420p");
    EXPECT_EQ(p.pts, (std::vector<int64_t>{0, 1000, 2500, 3000, 5000, 6200}));
    // The last frame lasts until the frame after it in the recording.
    EXPECT_NEAR(p.duration, 7.0, 0.001);

    // Ten times as fast, the pause cut to 0.5 s of playback; the last frame of the recording
    // lasts as long as the interval before it.
    zv::Mp4ExportOptions fast = plain;
    fast.speed = 10;
    fast.maxGapSeconds = 0.5;
    zv::exportMp4(zvf, "C:\\Exp\\b.mp4", 6, 2, fast);
    p = probe(exp("b.mp4"));
    EXPECT_EQ(p.pts, (std::vector<int64_t>{0, 50, 550, 670, 750}));
    EXPECT_NEAR(p.duration, 0.83, 0.001);
}

TEST_F(Mp4Export, DurationIsTheSpanPlusTheLastDelayOverTheSpeed) {
    std::vector<double> seconds;
    for (int i = 0; i < 40; ++i)
        seconds.push_back(0.3 * i);  // 300 ms apart: times that are not whole in binary
    record(seconds);
    TZVFFormat zvf(source);
    zv::Mp4ExportOptions half = plain;
    half.speed = 0.5;
    zv::exportMp4(zvf, "C:\\Exp\\d.mp4", 0, 39, half);
    const Probe p = probe(exp("d.mp4"));
    ASSERT_EQ(p.pts.size(), 40u);
    for (size_t i = 0; i < p.pts.size(); ++i)
        EXPECT_NEAR(double(p.pts[i]), 600.0 * double(i), 1.0) << "frame " << i;
    EXPECT_NEAR(p.duration, (39 * 0.3 + 0.3) / 0.5, 0.002);
}

TEST_F(Mp4Export, DecodedPicturesMatchTheirFramesAndOddSizesArePadded) {
    // Operator screens of an odd size: the video is one pixel wider and higher.
    ZVFAppender out(source);
    for (int i = 0; i < 4; ++i) {
        const QImage screen = renderSampleScreen(319, 239, kBase + i * 5 * kSecond, i);
        gifs.push_back(encodeSampleScreen(screen, 8));
        out.append(gifs.back().data(), gifs.back().size(), kBase + i * 5 * kSecond);
    }
    TZVFFormat zvf(source);
    zv::exportMp4(zvf, "C:\\Exp\\s.mp4", 0, 3, plain);
    const Probe p = probe(exp("s.mp4"));
    EXPECT_EQ(p.width, 320);
    EXPECT_EQ(p.height, 240);
    const std::vector<Rgb> decoded = decodeFrames(exp("s.mp4"), 320, 240);
    ASSERT_EQ(decoded.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_GT(psnr(rgbOf(gifs[i]), 319, 239, decoded[i], 320), 30.0) << "frame " << i;
    // The padding repeats the last column and row instead of a black edge.
    const Rgb &d = decoded[0];
    for (int y : {0, 100, 238}) {
        const size_t last = size_t(y * 320 + 318) * 3, pad = last + 3;
        EXPECT_NEAR(d[pad], d[last], 24) << "row " << y;
        EXPECT_NEAR(d[pad + 1], d[last + 1], 24) << "row " << y;
    }
}

TEST_F(Mp4Export, UnreadableFramesRepeatThePictureBeforeAndAreReportedOnce) {
    record({0, 1});
    appendBytes("GIF89a but no picture", 2);
    record({3});
    appendBytes("not a GIF", 4);
    TZVFFormat zvf(source);
    const std::string error = errorOf([&] { zv::exportMp4(zvf, "C:\\Exp\\u.mp4", 0, 4, plain); });
    EXPECT_EQ(error.rfind("Кадров, которые не удалось прочитать: 2 из 5", 0), 0u) << error;
    EXPECT_NE(error.find("кадр 2:"), std::string::npos) << error;

    // The video is complete: every frame is there, at its time.
    const Probe p = probe(exp("u.mp4"));
    EXPECT_EQ(p.pts, (std::vector<int64_t>{0, 1000, 2000, 3000, 4000}));
    const std::vector<Rgb> decoded = decodeFrames(exp("u.mp4"), 32, 24);
    ASSERT_EQ(decoded.size(), 5u);
    EXPECT_GT(psnr(rgbOf(gifs[1]), 32, 24, decoded[2], 32), 35.0);
    EXPECT_GT(psnr(rgbOf(gifs[3]), 32, 24, decoded[4], 32), 35.0);
    EXPECT_LT(psnr(rgbOf(gifs[1]), 32, 24, decoded[3], 32), 25.0);

    // Before the first readable frame the picture is black; with none readable nothing is
    // written.
    EXPECT_NE(errorOf([&] { zv::exportMp4(zvf, "C:\\Exp\\v.mp4", 2, 3, plain); }), "(no error)");
    const std::vector<Rgb> lead = decodeFrames(exp("v.mp4"), 32, 24);
    ASSERT_EQ(lead.size(), 2u);
    EXPECT_GT(psnr(Rgb(32 * 24 * 3, 0), 32, 24, lead[0], 32), 35.0);
    const std::string none = errorOf([&] { zv::exportMp4(zvf, "C:\\Exp\\w.mp4", 2, 2, plain); });
    EXPECT_EQ(none.rfind("Не удалось прочитать ни одного кадра экспорта (кадр 2:", 0), 0u) << none;
    EXPECT_FALSE(fs::exists(exp("w.mp4")));
    EXPECT_FALSE(fs::exists(exp("w.mp4.part")));
}

TEST_F(Mp4Export, BoundsAndIntervalsFollowTheOtherExports) {
    record({0, 1, 2, 3, 4, 5});
    TZVFFormat zvf(source);
    EXPECT_EQ(errorOf([&] { zv::exportMp4(zvf, "C:\\Exp\\b.mp4", 2, 6, plain); }), kBadBounds);
    EXPECT_EQ(errorOf([&] { zv::exportMp4(zvf, "C:\\Exp\\b.mp4", -1, 3, plain); }), kBadBounds);
    EXPECT_EQ(errorOf([&] {
                  zv::exportMp4ByTime(zvf, "C:\\Exp\\b.mp4", kBase + 5 * kSecond,
                                      kBase + 9 * kSecond, plain);
              }),
              kBadInterval);
    EXPECT_EQ(
        errorOf([&] { zv::exportMp4ByTime(zvf, "C:\\Exp\\b.mp4", kBase - kSecond, kBase, plain); }),
        kBadInterval);
    EXPECT_FALSE(fs::exists(exp("b.mp4")));

    // Frames strictly inside the interval; one between two frames gives both.
    zv::exportMp4ByTime(zvf, "C:\\Exp\\t.mp4", kBase + 1 * kSecond, kBase + 4 * kSecond, plain);
    EXPECT_EQ(probe(exp("t.mp4")).pts, (std::vector<int64_t>{0, 1000}));
    zv::exportMp4ByTime(zvf, "C:\\Exp\\t.mp4", kBase + 3.2 * kSecond, kBase + 3.4 * kSecond, plain);
    EXPECT_EQ(probe(exp("t.mp4")).pts, (std::vector<int64_t>{0, 1000}));

    zv::Mp4ExportOptions still = plain;
    still.speed = 0;
    EXPECT_NE(errorOf([&] { zv::exportMp4(zvf, "C:\\Exp\\z.mp4", 0, 1, still); }), "(no error)");
    EXPECT_FALSE(fs::exists(exp("z.mp4")));
}

TEST_F(Mp4Export, TargetsAreReplacedWholeOrNotAtAllAndNeverTheRecording) {
    record({0, 1, 2});
    TZVFFormat zvf(source);
    const std::string recording = zvtest::readFile(root.file("drive_c/VELD/rec.zvf"));
    fs::create_hard_link(root.file("drive_c/VELD/rec.zvf"), exp("hard.mp4"));
    for (const std::string &name : {std::string("c:/VELD/rec.zvf"), exp("hard.mp4")})
        EXPECT_EQ(errorOf([&] { zv::exportMp4(zvf, name, 0, 2, plain); }), kSameFile) << name;
    EXPECT_TRUE(zvtest::readFile(root.file("drive_c/VELD/rec.zvf")) == recording);

    zvtest::writeFile(exp("x.mp4"), std::string(5'000'000, 'x'));
    EXPECT_EQ(errorOf([&] { zv::exportMp4(zvf, "C:\\Exp\\x.mp4", 0, 9, plain); }), kBadBounds);
    EXPECT_EQ(fs::file_size(exp("x.mp4")), 5'000'000u);
    zv::exportMp4(zvf, "C:\\Exp\\x.mp4", 0, 2, plain);
    EXPECT_LT(fs::file_size(exp("x.mp4")), 100'000u);
    EXPECT_EQ(probe(exp("x.mp4")).pts.size(), 3u);
    EXPECT_FALSE(fs::exists(exp("x.mp4.part")));
}

TEST_F(Mp4Export, ATargetBeingWrittenRefusesASecondExportAndLinksAreReplaced) {
    record({0, 1, 2});
    TZVFFormat zvf(source);
    {
        const zv::TargetLock other(exp("x.mp4"));
        EXPECT_EQ(errorOf([&] { zv::exportMp4(zvf, "C:\\Exp\\x.mp4", 0, 2, plain); }),
                  "Файл \"" + exp("x.mp4") + "\" уже записывается другим экспортом");
    }
    EXPECT_FALSE(fs::exists(exp("x.mp4")));
    // Links another user planted: under the target's name, and under the old fixed part name.
    const zvtest::SharedFolders shared = zvtest::makeSharedFolders(root.path());
    ASSERT_FALSE(shared.open.empty());
    const std::string victim = root.file("victim");
    zvtest::writeFile(victim, "root's own");
    for (const std::string &folder : {shared.open, shared.sticky}) {
        SCOPED_TRACE(folder);
        if (!zvtest::plantLinkAsNobody(victim, folder + "/v.mp4") ||
            !zvtest::plantLinkAsNobody(victim, folder + "/v.mp4.part"))
            GTEST_SKIP() << "needs root and setpriv to plant links as another user";
        zv::exportMp4(zvf, folder + "/v.mp4", 0, 2, plain);
        EXPECT_EQ(zvtest::readFile(victim), "root's own");
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder + "/v.mp4")));
        EXPECT_EQ(probe(folder + "/v.mp4").pts.size(), 3u);
    }
}

TEST_F(Mp4Export, TargetsThatAreNoFileGetTheTextsOfTheZvfExportBeforeAnyWork) {
    record({0, 1, 2});
    TZVFFormat zvf(source);
    fs::create_directories(root.file("drive_c/Exp/dir.mp4"));
    ASSERT_EQ(::mkfifo(root.file("drive_c/Exp/pipe.mp4").c_str(), 0600), 0);
    // No folder, a network path (no file here), a folder, a folder with a separator, nothing, a
    // named pipe.
    for (const std::string target : {"C:\\No\\y.mp4", "\\\\server\\share\\y.mp4",
                                     "C:\\Exp\\dir.mp4", "C:\\Exp\\", "", "C:\\Exp\\pipe.mp4"}) {
        const std::string zvfError = errorOf([&] { zvf.ExportVideo(target, 0, 2, false); });
        EXPECT_EQ(zvfError.rfind("Не удается открыть файл", 0), 0u) << zvfError;
        std::vector<int64_t> progress;
        zvf.OnExportProgress = [&](int64_t done, int64_t) { progress.push_back(done); };
        EXPECT_EQ(errorOf([&] { zv::exportMp4(zvf, target, 0, 2, plain); }), zvfError) << target;
        EXPECT_TRUE(progress.empty()) << target;
        zvf.OnExportProgress = nullptr;
    }
    // The unfinished file never lands beside the host or in the folder.
    EXPECT_FALSE(fs::exists(".part"));
    EXPECT_EQ(
        std::distance(fs::directory_iterator(root.file("drive_c/Exp")), fs::directory_iterator()),
        2);
    EXPECT_TRUE(fs::is_empty(root.file("drive_c/Exp/dir.mp4")));
    EXPECT_EQ(errorOf([&] { zv::exportMp4(zvf, "C:\\Exp\\pipe.mp4", 0, 2, plain); }),
              "Не удается открыть файл \"" + exp("pipe.mp4") + "\": не является обычным файлом");
}

TEST_F(Mp4Export, TimeStampIsBurntIntoTheTopRightCornerOnly) {
    const int w = 320, h = 240;
    record({0, 1}, w, h);
    TZVFFormat zvf(source);
    zv::exportMp4(zvf, "C:\\Exp\\plain.mp4", 0, 1, plain);
    zv::exportMp4(zvf, "C:\\Exp\\stamp.mp4", 0, 1);
    const std::vector<Rgb> a = decodeFrames(exp("plain.mp4"), w, h);
    const std::vector<Rgb> b = decodeFrames(exp("stamp.mp4"), w, h);
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 2u);
    // Rows below the box and the left half are the same picture; the box has black and white.
    const size_t row = size_t(w) * 3;
    const Rgb lowerA(a[0].begin() + 40 * row, a[0].end()),
        lowerB(b[0].begin() + 40 * row, b[0].end());
    EXPECT_GT(psnr(lowerA, w, h - 40, lowerB, w), 40.0);
    int dark = 0, light = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = w / 2; x < w; ++x) {
            const int v = b[0][size_t(y) * row + size_t(x) * 3 + 1];
            dark += v < 40;
            light += v > 215;
        }
    EXPECT_GT(dark, 100);
    EXPECT_GT(light, 20);
}

TEST(PlaybackTiming, IntervalsThatAreNotRealPlayAsLongAsTheOneBefore) {
    zv::PlaybackTiming t(1.0, 2000.0);
    EXPECT_EQ(t.next(kBase), 0);
    EXPECT_EQ(t.next(kBase + 0.4 * kSecond), 400);
    EXPECT_EQ(t.next(kBase - 3600 * kSecond), 800);   // the clock set back an hour
    EXPECT_EQ(t.next(kBase - 3600 * kSecond), 1200);  // the same millisecond again
    EXPECT_EQ(t.next(std::nan("")), 1600);
    EXPECT_EQ(t.next(kBase - 3599.9 * kSecond), 1700);
    EXPECT_EQ(t.lastDuration(std::nullopt), 100);
    EXPECT_EQ(t.lastDuration(kBase + kSecond), 2000);

    // No interval at all: one second of recording, at the speed, within the longest pause.
    zv::PlaybackTiming one(4.0, 2000.0);
    EXPECT_EQ(one.next(kBase), 0);
    EXPECT_EQ(one.lastDuration(std::nullopt), 250);

    // A day of frames 40 ms apart at 1/3 of the speed: rounding does not drift.
    zv::PlaybackTiming slow(1.0 / 3.0, 2000.0);
    int64_t pts = 0;
    for (int i = 0; i < 2'160'000; ++i)
        pts = slow.next(kBase + i * 0.04 * kSecond);
    EXPECT_EQ(pts, 2'159'999LL * 120);
}
