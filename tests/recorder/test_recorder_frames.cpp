// What the recorder's frames show of a real X screen: the pointer where it is (and not with
// --no-pointer), and how near a decoded frame comes to the screen as ImageMagick's import takes it.
#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "container/GifImage.h"
#include "container/ZVFformatUnit.h"
#include "recording/RecordingSettings.h"
#include "support/OperatorScreens.h"
#include "support/TempRoot.h"
#include "support/XServer.h"

namespace fs = std::filesystem;

namespace {

// Where the pointer's picture lies on the screen.
struct PointerBox {
    int left = 0, top = 0, width = 0, height = 0;
    bool contains(int x, int y) const {
        return x >= left && x < left + width && y >= top && y < top + height;
    }
};

// Puts the pointer of a display at (x, y); where its picture then lies, by XFixes.
PointerBox putPointer(const std::string &display, int x, int y) {
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> c(
        xcb_connect(display.c_str(), nullptr), &xcb_disconnect);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c.get())).data->root;
    free(xcb_xfixes_query_version_reply(c.get(), xcb_xfixes_query_version(c.get(), 4, 0), nullptr));
    xcb_warp_pointer(c.get(), XCB_NONE, root, 0, 0, 0, 0, static_cast<int16_t>(x),
                     static_cast<int16_t>(y));
    std::unique_ptr<xcb_xfixes_get_cursor_image_reply_t, decltype(&free)> image(
        xcb_xfixes_get_cursor_image_reply(c.get(), xcb_xfixes_get_cursor_image(c.get()), nullptr),
        &free);
    if (!image)
        return {};
    return {image->x - image->xhot, image->y - image->yhot, image->width, image->height};
}

class RecorderFrames : public ::testing::Test {
protected:
    zvtest::TempRoot root;
    TRecordingSettings settings;
    std::string file = root.file("drive_c/VELD/ZORVIDEO/BigFile.zvf");

    void SetUp() override {
        fs::create_directories(root.file("drive_c"));
        settings.EnableRec = false;  // --once records all the same
    }
    // One frame with these arguments, on the display of $DISPLAY.
    void recordOnce(const QStringList &args) {
        zv::saveRecordingSettings(ConfigFileName(), settings);
        QProcess p;
        p.start(QStringLiteral(ZV_RECORDER), QStringList{"--once"} + args);
        ASSERT_TRUE(p.waitForFinished(60'000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }
    std::vector<uint32_t> frame(int32_t n) {
        TZVFFormat zvf(file);
        zv::GifImage image;
        EXPECT_TRUE(zvf.LoadFrame(n, image));
        const size_t count = static_cast<size_t>(image.width()) * image.height();
        std::vector<uint32_t> pixels(image.pixels(), image.pixels() + count);
        for (uint32_t &p : pixels)
            p &= 0xFFFFFF;
        return pixels;
    }
};

}  // namespace

TEST_F(RecorderFrames, ShowThePointerWhereItIsUnlessAskedNotTo) {
    const int w = 200, h = 150;
    zvtest::XServer server(w, h);
    zvtest::ScopedDisplay display(server.display());
    zvtest::RootPicture picture(server.display());
    const uint32_t desktop = 0x3A6EA5;
    picture.fill(desktop);
    for (const auto &[x, y] : {std::pair{60, 40}, std::pair{150, 110}}) {
        SCOPED_TRACE(testing::Message() << "pointer at " << x << "," << y);
        const PointerBox box = putPointer(server.display(), x, y);
        ASSERT_GT(box.width, 0);
        recordOnce({});
        recordOnce({"--no-pointer"});
        const int32_t last = TZVFFormat(file).FrameCount() - 1;
        const std::vector<uint32_t> with = frame(last - 1), without = frame(last);
        ASSERT_EQ(with.size(), static_cast<size_t>(w) * h);
        EXPECT_EQ(without, std::vector<uint32_t>(with.size(), desktop));
        int inside = 0, outside = 0;
        for (int py = 0; py < h; ++py)
            for (int px = 0; px < w; ++px) {
                if (with[static_cast<size_t>(py) * w + px] != desktop)
                    ++(box.contains(px, py) ? inside : outside);
            }
        EXPECT_GT(inside, 10) << "the pointer's pixels are in the frame";
        EXPECT_EQ(outside, 0) << "and nothing else changed";
    }
}

TEST_F(RecorderFrames, ADecodedFrameAgainstTheScreenAsImportTakesIt) {
    const QString import = QStandardPaths::findExecutable("import");
    if (import.isEmpty())
        GTEST_SKIP() << "ImageMagick's import is not installed";
    const int w = 800, h = 480;
    zvtest::XServer server(w, h);
    zvtest::ScopedDisplay display(server.display());
    zvtest::RootPicture picture(server.display());
    const QImage screen = zvtest::operatorScreen("busy", w, h);
    picture.show(reinterpret_cast<const uint32_t *>(screen.constBits()), w, h,
                 static_cast<size_t>(screen.bytesPerLine()) / 4);
    const std::string shot = root.file("root.png");
    QProcess p;
    p.start(import, {"-display", QString::fromStdString(server.display()), "-window", "root",
                     QString::fromStdString(shot)});
    ASSERT_TRUE(p.waitForFinished(60'000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    QImage taken(QString::fromStdString(shot));
    ASSERT_EQ(taken.size(), screen.size());
    taken = taken.convertToFormat(QImage::Format_RGB32);
    std::vector<uint32_t> truth;
    for (int y = 0; y < h; ++y) {
        const auto *line = reinterpret_cast<const uint32_t *>(taken.constScanLine(y));
        for (int x = 0; x < w; ++x)
            truth.push_back(line[x] & 0xFFFFFF);
    }
    // import leaves the pointer out; so does this recording.
    int32_t n = 0;
    for (const auto &[bitRate, floor] : {std::pair{8, 38.5}, std::pair{4, 26.5}}) {
        settings.BitRate = bitRate;
        recordOnce({"--no-pointer"});
        const std::vector<uint32_t> shown = frame(n++);
        ASSERT_EQ(shown.size(), truth.size());
        const double db = zvtest::psnr(truth.data(), shown.data(), truth.size());
        EXPECT_GE(db, floor) << "zvBitRate " << bitRate << ": " << db << " dB";
        RecordProperty("psnr_bitrate_" + std::to_string(bitRate), std::to_string(db));
        std::printf("zvBitRate %d: the decoded frame against import -window root: %.2f dB\n",
                    bitRate, db);
    }
}
