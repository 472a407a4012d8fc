// The recorder ZORVideoService on a Wayland desktop: a headless sway of the test's own with
// Xwayland. What it records comes from the compositor (never Xwayland's empty root), the module
// finds its windows on Xwayland, and without a capture it says so, writes nothing and retries.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "container/GifImage.h"
#include "container/ZVFformatUnit.h"
#include "platform/WindowList.h"
#include "recording/RecordingSettings.h"
#include "support/Sway.h"
#include "support/TempRoot.h"
#include "support/WaitFor.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kBackground = 0x3366CC;

using zvtest::waitFor;

class RecorderOnWayland : public ::testing::Test {
protected:
    std::unique_ptr<zvtest::Sway> sway;
    std::string file, config;

    void SetUp() override {
        std::string missing;
        if (!zvtest::Sway::available(missing))
            GTEST_SKIP() << missing;
        sway = std::make_unique<zvtest::Sway>(320, 200, kBackground);
        const std::string out = sway->workFolder() + "/out";
        fs::create_directories(out);
        sway->handOver(out);
        file = out + "/BigFile.zvf";
        config = sway->workFolder() + "/cnf.INI";
        TRecordingSettings settings;
        settings.OutFile = file;
        settings.EnableRec = true;
        settings.WaitForNextFrame = 100;
        settings.MinHDDSize = 0;
        zv::saveRecordingSettings(config, settings);
    }

    // The recorder as the compositor's user, talking to waylandDisplay (sway's when empty).
    std::unique_ptr<QProcess> start(const std::string &waylandDisplay = {}) {
        auto p = std::make_unique<QProcess>();
        QString program;
        QStringList args;
        sway->command(ZV_RECORDER, {"--config", QString::fromStdString(config)}, program, args);
        p->setProcessEnvironment(sway->clientEnvironment(waylandDisplay));
        p->setStandardErrorFile(QString::fromStdString(logFile()));
        p->start(program, args);
        EXPECT_TRUE(p->waitForStarted());
        return p;
    }
    std::string logFile() const { return sway->workFolder() + "/recorder.log"; }
    std::string log() const {
        std::ifstream in(logFile());
        return {std::istreambuf_iterator<char>(in), {}};
    }
    int32_t frames() const { return fs::exists(file) ? TZVFFormat(file).FrameCount() : 0; }
    zv::GifImage lastFrame() const {
        TZVFFormat zvf(file);
        zv::GifImage image;
        EXPECT_TRUE(zvf.LoadFrame(zvf.FrameCount() - 1, image));
        return image;
    }
    static uint32_t centre(const zv::GifImage &image) {
        return image
            .pixels()[static_cast<size_t>(image.height() / 2) * image.width() + image.width() / 2];
    }
    // Ends the recorder through its quit window on Xwayland, as "Остановить" does.
    void quit(QProcess &p) {
        const auto list = zv::makeX11WindowList(sway->x11Display());
        const auto tempForm = zv::findWindowByTitle(list->windows(), "TempForm");
        ASSERT_TRUE(tempForm.has_value());
        EXPECT_TRUE(list->sendQuit(tempForm->id));
        EXPECT_TRUE(p.waitForFinished(10'000));
        EXPECT_EQ(p.exitCode(), 0) << log();
    }
};

}  // namespace

TEST_F(RecorderOnWayland, RecordsTheCompositorsPictureAndIsFoundOnXwayland) {
    auto recorder = start();
    ASSERT_TRUE(waitFor([&] { return frames() >= 3; }, 30'000)) << log();
    zv::GifImage image = lastFrame();
    EXPECT_EQ(image.width(), 320);
    EXPECT_EQ(image.height(), 200);
    EXPECT_TRUE(zvtest::nearColour(image.pixels()[0], kBackground))
        << std::hex << image.pixels()[0];
    EXPECT_TRUE(zvtest::nearColour(image.pixels()[320 * 200 - 1], kBackground));
    EXPECT_TRUE(zvtest::nearColour(centre(image), kBackground));

    // An X client on Xwayland, tiled by sway over the output: its colour reaches the file.
    zvtest::ColouredXWindow window(sway->x11Display(), 0x20C040);
    EXPECT_TRUE(waitFor([&] { return zvtest::nearColour(centre(lastFrame()), 0x20C040); }, 30'000));

    const auto list = zv::makeX11WindowList(sway->x11Display());
    const auto windows = list->windows();
    EXPECT_TRUE(zv::findWindowByTitle(windows, "ZorvideoService").has_value());
    EXPECT_TRUE(zv::findWindowByTitle(windows, "TempForm").has_value());
    quit(*recorder);
    const std::string text = log();
    EXPECT_NE(text.find("zwlr_screencopy_manager_v1"), std::string::npos) << text;
    EXPECT_EQ(text.find("ERROR"), std::string::npos) << text;
}

TEST_F(RecorderOnWayland, WithoutACaptureSaysSoWritesNothingAndRetries) {
    // WAYLAND_DISPLAY names a socket that is not there yet; Xwayland is.
    const std::string socket = sway->runtimeFolder() + "/later";
    auto recorder = start(socket);
    ASSERT_TRUE(waitFor(
        [&] { return log().find("ERROR Снимок экрана не получен") != std::string::npos; }, 30'000))
        << log();
    const std::string text = log();
    EXPECT_NE(text.find("ERROR Сеанс Wayland (WAYLAND_DISPLAY=" + socket), std::string::npos)
        << text;
    EXPECT_NE(text.find("zwlr_screencopy_manager_v1"), std::string::npos) << text;
    EXPECT_NE(text.find("новая попытка каждые 10 с"), std::string::npos) << text;
    EXPECT_EQ(frames(), 0);
    EXPECT_EQ(recorder->state(), QProcess::Running);

    // The compositor turns up: the next try finds it and frames follow.
    fs::create_symlink(sway->socketPath(), socket);
    ASSERT_TRUE(waitFor([&] { return frames() >= 2; }, 40'000)) << log();
    EXPECT_TRUE(zvtest::nearColour(lastFrame().pixels()[0], kBackground));
    quit(*recorder);
}
