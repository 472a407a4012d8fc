// The recorder ZORVideoService on a desktop that offers only the portal's ScreenCast (GNOME and
// KDE do): a desktop of the test's own with the real xdg-desktop-portal front end, PipeWire and
// a stand-in back end that hands out a video source of one colour. No X display: the recorder
// records anyway.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "container/GifImage.h"
#include "container/ZVFformatUnit.h"
#include "recording/RecordingSettings.h"
#include "support/PortalDesktop.h"
#include "support/TempRoot.h"
#include "support/WaitFor.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kColour = 0x3366CC;

using zvtest::waitFor;

class RecorderOnPortal : public ::testing::Test {
protected:
    std::unique_ptr<zvtest::PortalDesktop> desktop;
    std::string file, config, token;

    void SetUp() override {
        std::string missing;
        if (!zvtest::PortalDesktop::available(missing))
            GTEST_SKIP() << missing;
        desktop = std::make_unique<zvtest::PortalDesktop>(320, 200, monitors());
        file = desktop->workFolder() + "/BigFile.zvf";
        config = desktop->workFolder() + "/cnf.INI";
        token = desktop->stateFolder() + "/zorvideo/screencast-token";
        TRecordingSettings settings;
        settings.OutFile = file;
        settings.EnableRec = true;
        settings.WaitForNextFrame = 100;
        settings.MinHDDSize = 0;
        zv::saveRecordingSettings(config, settings);
    }

    virtual std::vector<zvtest::PortalDesktop::Monitor> monitors() const {
        return {{0, 0, kColour}};
    }

    std::unique_ptr<QProcess> start(const std::string &log) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(desktop->clientEnvironment());
        p->setStandardErrorFile(QString::fromStdString(log));
        p->start(ZV_RECORDER, {"--config", QString::fromStdString(config)});
        EXPECT_TRUE(p->waitForStarted());
        return p;
    }
    static std::string read(const std::string &path) {
        std::ifstream in(path);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    int32_t frames() const { return fs::exists(file) ? TZVFFormat(file).FrameCount() : 0; }
    zv::GifImage lastFrame() const {
        TZVFFormat zvf(file);
        zv::GifImage image;
        EXPECT_TRUE(zvf.LoadFrame(zvf.FrameCount() - 1, image));
        return image;
    }
    static void stop(QProcess &p) {
        p.terminate();
        EXPECT_TRUE(p.waitForFinished(10'000));
        EXPECT_EQ(p.exitCode(), 0);
    }
};

// Two monitors, the second one below and to the right of the first, of its own colour.
class RecorderOnPortalWithTwoMonitors : public RecorderOnPortal {
protected:
    std::vector<zvtest::PortalDesktop::Monitor> monitors() const override {
        return {{0, 0, kColour}, {320, 100, 0xC03020}};
    }
};

}  // namespace

TEST_F(RecorderOnPortal, RecordsTheStreamAndIsAskedOnceAcrossRestarts) {
    const std::string log = desktop->workFolder() + "/first.log";
    auto recorder = start(log);
    ASSERT_TRUE(waitFor([&] { return frames() >= 3; }, 30'000)) << read(log);
    const zv::GifImage image = lastFrame();
    EXPECT_EQ(image.width(), 320);
    EXPECT_EQ(image.height(), 200);
    EXPECT_TRUE(zvtest::nearColour(image.pixels()[0], kColour)) << std::hex << image.pixels()[0];
    EXPECT_TRUE(zvtest::nearColour(image.pixels()[320 * 200 - 1], kColour));
    stop(*recorder);
    const std::string text = read(log);
    EXPECT_NE(text.find("org.freedesktop.portal.ScreenCast"), std::string::npos) << text;
    EXPECT_NE(text.find("окно настроек ее не увидит"), std::string::npos) << text;
    EXPECT_EQ(text.find("ERROR"), std::string::npos) << text;

    // The portal's restore token, the recorder's own to read.
    struct stat info {};
    ASSERT_EQ(::stat(token.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string first = read(token);
    EXPECT_GE(first.size(), 30u);
    std::string calls = desktop->backendLog();
    EXPECT_EQ(calls.find("restore_data"), std::string::npos) << calls;
    EXPECT_NE(calls.find("\"cursor_mode\": \"2\""), std::string::npos) << calls;
    EXPECT_NE(calls.find("\"persist_mode\": \"2\""), std::string::npos) << calls;

    // The next start offers it: the portal hands the back end the permission it kept.
    auto again = start(desktop->workFolder() + "/second.log");
    const int32_t before = frames();
    ASSERT_TRUE(waitFor([&] { return frames() >= before + 2; }, 30'000));
    stop(*again);
    calls = desktop->backendLog();
    EXPECT_NE(calls.find("restore_data"), std::string::npos) << calls;
}

TEST_F(RecorderOnPortal, ARefusalIsAnErrorAndNoFrameAndTheRecorderRunsOn) {
    desktop->refuse(true);
    const std::string log = desktop->workFolder() + "/refused.log";
    auto recorder = start(log);
    ASSERT_TRUE(waitFor(
        [&] { return read(log).find("ERROR Снимок экрана не получен") != std::string::npos; },
        30'000))
        << read(log);
    const std::string text = read(log);
    EXPECT_NE(text.find("ERROR Сеанс Wayland"), std::string::npos) << text;
    EXPECT_NE(text.find("отказал в записи экрана"), std::string::npos) << text;
    EXPECT_EQ(frames(), 0);
    EXPECT_FALSE(fs::exists(token));

    // The operator grants it later: the next try (every 10 s) records.
    desktop->refuse(false);
    EXPECT_TRUE(waitFor([&] { return frames() >= 2; }, 40'000)) << read(log);
    EXPECT_EQ(recorder->state(), QProcess::Running);
    stop(*recorder);
}

TEST_F(RecorderOnPortal, ATokenThePortalRejectsIsDroppedAndPermissionAskedAgain) {
    std::filesystem::create_directories(desktop->stateFolder() + "/zorvideo");
    std::ofstream(token) << "not-a-token-of-the-portal\n";
    const std::string log = desktop->workFolder() + "/rejected.log";
    auto recorder = start(log);
    ASSERT_TRUE(waitFor([&] { return read(log).find("ERROR") != std::string::npos; }, 30'000))
        << read(log);
    EXPECT_EQ(frames(), 0);
    // The next try, without the token, is granted and keeps the portal's new token.
    ASSERT_TRUE(waitFor([&] { return frames() >= 2; }, 40'000)) << read(log);
    const std::string kept = read(token);
    EXPECT_EQ(kept.find("not-a-token"), std::string::npos) << kept;
    EXPECT_GE(kept.size(), 30u);
    stop(*recorder);
}

TEST_F(RecorderOnPortalWithTwoMonitors, EveryMonitorWhereTheDesktopPlacesIt) {
    const std::string log = desktop->workFolder() + "/two.log";
    auto recorder = start(log);
    ASSERT_TRUE(waitFor([&] { return frames() >= 2; }, 30'000)) << read(log);
    const zv::GifImage image = lastFrame();
    ASSERT_EQ(image.width(), 640);
    ASSERT_EQ(image.height(), 300);
    const auto at = [&](int x, int y) { return image.pixels()[y * 640 + x]; };
    EXPECT_TRUE(zvtest::nearColour(at(0, 0), kColour));
    EXPECT_TRUE(zvtest::nearColour(at(319, 199), kColour));
    EXPECT_TRUE(zvtest::nearColour(at(320, 100), 0xC03020)) << std::hex << at(320, 100);
    EXPECT_TRUE(zvtest::nearColour(at(639, 299), 0xC03020));
    EXPECT_TRUE(zvtest::nearColour(at(639, 0), 0));  // no monitor there
    EXPECT_TRUE(zvtest::nearColour(at(0, 299), 0));
    stop(*recorder);
}

TEST_F(RecorderOnPortal, ASessionTheDesktopEndsIsAnErrorAndANewOneFollows) {
    const std::string log = desktop->workFolder() + "/closed.log";
    auto recorder = start(log);
    ASSERT_TRUE(waitFor([&] { return frames() >= 2; }, 30'000)) << read(log);
    desktop->closeSessions();
    ASSERT_TRUE(
        waitFor([&] { return read(log).find("закрыл сеанс") != std::string::npos; }, 30'000))
        << read(log);
    EXPECT_NE(read(log).find("ERROR"), std::string::npos);
    // At once a new session, granted without a dialog by the kept token: frames go on.
    const int32_t before = frames();
    EXPECT_TRUE(waitFor([&] { return frames() >= before + 2; }, 30'000)) << read(log);
    EXPECT_NE(desktop->backendLog().find("restore_data"), std::string::npos);
    stop(*recorder);
}
