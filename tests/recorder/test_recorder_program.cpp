// The recorder ZORVideoService as a program on X servers of the test's own: what it records,
// how it follows cnf.INI, how the module finds and stops it, and what survives kill -9.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <filesystem>
#include <functional>
#include <random>

#include "container/ChangeFinder.h"
#include "container/ZVFCheck.h"
#include "container/ZVFformatUnit.h"
#include "platform/Paths.h"
#include "platform/WindowList.h"
#include "recorder/RotatedFiles.h"
#include "recording/RecordingSettings.h"
#include "support/RawZvf.h"
#include "support/TempRoot.h"
#include "support/TestWindows.h"
#include "support/WaitFor.h"
#include "support/XServer.h"

namespace fs = std::filesystem;

namespace {

using zvtest::waitFor;

std::vector<std::string> zvfFiles(const std::string &folder) {
    std::vector<std::string> files;
    for (const auto &e : fs::directory_iterator(folder)) {
        if (e.path().extension() == ".zvf")
            files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool hasTitle(const std::vector<zv::TopLevelWindow> &windows, const char *title) {
    return zv::findWindowByTitle(windows, title).has_value();
}

class RecorderProgram : public ::testing::Test {
protected:
    zvtest::TempRoot root;
    zvtest::XServer server{160, 120};
    zvtest::ScopedDisplay display{server.display()};
    zvtest::RootPicture picture{server.display()};
    std::unique_ptr<zv::WindowList> windows = zv::makeX11WindowList(server.display());
    TRecordingSettings settings;
    std::string folder = root.file("drive_c/VELD/ZORVIDEO");
    std::string file = folder + "/BigFile.zvf";

    void SetUp() override {
        fs::create_directories(root.file("drive_c"));
        settings.EnableRec = true;
        settings.WaitForNextFrame = 100;
        apply();
    }
    // What "Применить" does in the settings window.
    void apply() { zv::saveRecordingSettings(ConfigFileName(), settings); }

    std::unique_ptr<QProcess> start(const QStringList &args = {}) {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral(ZV_RECORDER), args);
        EXPECT_TRUE(p->waitForStarted());
        return p;
    }
    int32_t frames() { return fs::exists(file) ? TZVFFormat(file).FrameCount() : 0; }
    std::vector<double> times() {
        TZVFFormat zvf(file);
        std::vector<double> t;
        for (const TZVFFrameEntry &e : zvf.ReadFrameEntries(0, zvf.FrameCount()))
            t.push_back(e.DateTime * 86'400'000.0);
        return t;
    }
    // Ends the recorder through its quit window, as "Остановить" does; the milliseconds it took.
    qint64 quit(QProcess &p) {
        const auto tempForm = zv::findWindowByTitle(windows->windows(), "TempForm");
        EXPECT_TRUE(tempForm.has_value());
        QElapsedTimer timer;
        timer.start();
        EXPECT_TRUE(tempForm && windows->sendQuit(tempForm->id));
        EXPECT_TRUE(p.waitForFinished(5000));
        const qint64 took = timer.elapsed();
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return took;
    }
    void expectSound(const std::string &path) {
        const zvf::CheckResult check = zvf::checkFile(path);
        EXPECT_EQ(check.problems, 0) << path << ": " << (check.lines.empty() ? "" : check.lines[0]);
    }
};

}  // namespace

TEST_F(RecorderProgram, RecordsTheScreenAndFollowsTheSettingsWhileReadersRead) {
    picture.fill(0xC03020);
    auto recorder = start();
    ASSERT_TRUE(waitFor([&] { return frames() >= 3; }, 2000)) << "frames within 2 s";

    // The viewer's reader opens the growing file and reads every frame it is shown.
    TZVFFormat reader(file);
    zv::GifImage image;
    int32_t seen = 0;
    ASSERT_TRUE(waitFor(
        [&] {
            for (const int32_t n = reader.FrameCount(); seen < n; ++seen)
                EXPECT_TRUE(reader.LoadFrame(seen, image)) << seen;
            return seen >= 8;
        },
        3000));
    EXPECT_EQ(image.width(), 160);
    EXPECT_EQ(image.height(), 120);
    EXPECT_EQ(image.pixels()[0], 0xFFC03020u);
    EXPECT_EQ(image.pixels()[160 * 120 - 1], 0xFFC03020u);
    expectSound(file);

    // A longer delay: from then on the frames stand 400 ms apart.
    settings.WaitForNextFrame = 400;
    apply();
    QThread::msleep(2000);
    const size_t before = times().size();
    QThread::msleep(2000);
    const std::vector<double> slow = times();
    // Frames stand on a 400 ms grid; each date-time is taken when its grab runs, which a busy
    // machine delays a little.
    ASSERT_GE(slow.size(), before + 3);
    EXPECT_LE(slow.size(), before + 6);
    EXPECT_GE((slow.back() - slow[before - 1]) / static_cast<double>(slow.size() - before), 380.0);
    for (size_t k = before; k < slow.size(); ++k)
        EXPECT_GE(slow[k] - slow[k - 1], 250.0) << k;

    // Recording off: the program runs on and writes nothing; on again: frames come again.
    settings.EnableRec = false;
    apply();
    QThread::msleep(2000);
    const int32_t stopped = frames();
    QThread::msleep(1000);
    EXPECT_EQ(frames(), stopped);
    EXPECT_EQ(recorder->state(), QProcess::Running);
    settings.EnableRec = true;
    settings.WaitForNextFrame = 100;
    apply();
    EXPECT_TRUE(waitFor([&] { return frames() >= stopped + 3; }, 2500));

    const auto listed = windows->windows();
    EXPECT_TRUE(hasTitle(listed, "ZorvideoService"));
    EXPECT_TRUE(hasTitle(listed, "TempForm"));
    EXPECT_LE(quit(*recorder), 1000);
    const auto after = windows->windows();
    EXPECT_FALSE(hasTitle(after, "ZorvideoService"));
    EXPECT_FALSE(hasTitle(after, "TempForm"));
    expectSound(file);
    const std::string log = recorder->readAllStandardError().toStdString();
    EXPECT_NE(log.find("Запись выключена"), std::string::npos) << log;
    EXPECT_NE(log.find("задержка 400 мс"), std::string::npos) << log;
}

TEST_F(RecorderProgram, OneInstanceAndTheQuitMessageUnderAWindowManager) {
    zvtest::WindowManager manager(root.path());
    auto recorder = start();
    ASSERT_TRUE(waitFor([&] { return hasTitle(windows->windows(), "ZorvideoService"); }, 5000));
    EXPECT_TRUE(hasTitle(windows->windows(), "TempForm"));

    // A second start finds the first one's window and ends at once.
    QElapsedTimer timer;
    timer.start();
    auto second = start();
    ASSERT_TRUE(second->waitForFinished(5000));
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_NE(second->readAllStandardError().toStdString().find("уже есть на дисплее"),
              std::string::npos);
    EXPECT_EQ(recorder->state(), QProcess::Running);

    ASSERT_TRUE(waitFor([&] { return frames() >= 2; }, 3000));
    EXPECT_LE(quit(*recorder), 1000);
    EXPECT_FALSE(hasTitle(windows->windows(), "ZorvideoService"));
    expectSound(file);
}

TEST_F(RecorderProgram, RotatesAtATinySizeLimitAndEndsOnSigterm) {
    settings.MaxFileSize = 1;  // each file is full after one frame (the data starts at 10 MB)
    settings.WaitForNextFrame = 40;
    apply();
    auto recorder = start();
    ASSERT_TRUE(waitFor([&] { return fs::exists(folder) && zvfFiles(folder).size() >= 6; }, 4000));
    QElapsedTimer timer;
    timer.start();
    ::kill(static_cast<pid_t>(recorder->processId()), SIGTERM);
    ASSERT_TRUE(recorder->waitForFinished(5000));
    EXPECT_LE(timer.elapsed(), 1000);
    EXPECT_EQ(recorder->exitCode(), 0);
    for (const std::string &path : zvfFiles(folder)) {
        SCOPED_TRACE(path);
        expectSound(path);
        EXPECT_EQ(TZVFFormat(path).FrameCount(), 1);
        const std::string name = fs::path(path).filename().string();
        EXPECT_TRUE(name == "BigFile.zvf" || zv::isRotatedFileName(file, name)) << name;
    }
}

TEST_F(RecorderProgram, KillNineAtAnyMomentLeavesSoundFiles) {
    // A noisy screen in 256 colours makes frames of about 20 KB, so that files of 10 MB (the data
    // starts at 10,000,000) take some 20 frames: kills land in appends, rotations and new files.
    std::mt19937 random(20261208);
    std::vector<uint32_t> noise(160 * 120);
    for (uint32_t &pixel : noise)
        pixel = random() & 0xFFFFFF;
    picture.show(noise.data(), 160, 120, 160);
    settings.MaxFileSize = 10;
    settings.WaitForNextFrame = 40;
    settings.BitRate = 8;
    apply();
    auto total = [&] {
        int64_t sum = 0;
        if (fs::exists(folder)) {
            for (const std::string &path : zvfFiles(folder))
                sum += TZVFFormat(path).FrameCount();
        }
        return sum;
    };
    for (int round = 0; round < 20; ++round) {
        const int64_t before = total();
        auto recorder = start();
        // Once it writes, at a random moment of the next 300 ms.
        ASSERT_TRUE(waitFor([&] { return total() > before; }, 10'000)) << "round " << round;
        const int moment = std::uniform_int_distribution<int>(0, 300)(random);
        QThread::msleep(static_cast<unsigned long>(moment));
        ::kill(static_cast<pid_t>(recorder->processId()), SIGKILL);
        recorder->waitForFinished(5000);
        for (const std::string &path : zvfFiles(folder)) {
            SCOPED_TRACE("round " + std::to_string(round) + " at " + std::to_string(moment) +
                         " ms: " + path);
            expectSound(path);
        }
    }
    EXPECT_GE(zvfFiles(folder).size(), 2u) << "the rounds rotated a file";
}

TEST_F(RecorderProgram, OnceNoDisplayAndUnreadableSettings) {
    // --once takes a frame with recording switched off; the settings file as a folder cannot be
    // read: the defaults hold (the default file) and the log says why.
    settings.EnableRec = false;
    apply();
    // Where no journal runs the log goes beside cnf.INI, at most 1 MB, one older generation kept.
    const std::string logFile = root.file("drive_c/WINDOWS/ZORVideoService.log");
    zvtest::writeFile(logFile, std::string(1'048'500, 'o') + "\n");
    auto once = start({"--once"});
    ASSERT_TRUE(once->waitForFinished(10'000));
    EXPECT_EQ(once->exitCode(), 0) << once->readAllStandardError().toStdString();
    EXPECT_EQ(frames(), 1);
    if (!fs::exists("/run/systemd/journal/socket")) {
        EXPECT_EQ(fs::file_size(logFile + ".1"), 1'048'501u);
        EXPECT_LT(fs::file_size(logFile), 4096u);
        EXPECT_NE(zvtest::readFile(logFile).find("запущен"), std::string::npos);
    }

    fs::create_directories(root.file("settings.ini"));
    auto defaults =
        start({"--once", "--config", QString::fromStdString(root.file("settings.ini"))});
    ASSERT_TRUE(defaults->waitForFinished(10'000));
    EXPECT_EQ(defaults->exitCode(), 0);
    EXPECT_NE(
        defaults->readAllStandardError().toStdString().find("Не удается прочитать файл настроек"),
        std::string::npos);
    EXPECT_EQ(frames(), 2);

    {
        zvtest::ScopedDisplay none("");
        auto headless = start();
        ASSERT_TRUE(headless->waitForFinished(10'000));
        EXPECT_EQ(headless->exitCode(), 1);
        EXPECT_NE(headless->readAllStandardError().toStdString().find("DISPLAY"),
                  std::string::npos);
    }
    auto wrong = start({"--no-such-option"});
    ASSERT_TRUE(wrong->waitForFinished(10'000));
    EXPECT_EQ(wrong->exitCode(), 2);
}

TEST_F(RecorderProgram, EightStartedAtOnceOneRuns) {
    std::vector<std::unique_ptr<QProcess>> started;
    for (int i = 0; i < 8; ++i) {
        started.push_back(std::make_unique<QProcess>());
        started.back()->start(QStringLiteral(ZV_RECORDER), QStringList());
    }
    for (auto &p : started)
        ASSERT_TRUE(p->waitForStarted());
    auto ended = [&] {
        int n = 0;
        for (auto &p : started)
            n += p->state() == QProcess::NotRunning || p->waitForFinished(10);
        return n;
    };
    ASSERT_TRUE(waitFor([&] { return ended() >= 7; }, 15'000)) << ended();
    QProcess *running = nullptr;
    for (auto &p : started) {
        if (p->state() == QProcess::NotRunning) {
            EXPECT_EQ(p->exitCode(), 0);
            EXPECT_NE(p->readAllStandardError().toStdString().find("другая копия записи работает"),
                      std::string::npos);
        } else {
            EXPECT_EQ(running, nullptr) << "a second one runs";
            running = p.get();
        }
    }
    EXPECT_EQ(ended(), 7);
    ASSERT_NE(running, nullptr);
    ASSERT_TRUE(waitFor([&] { return frames() >= 2; }, 5000));
    EXPECT_LE(quit(*running), 1000);
    EXPECT_FALSE(hasTitle(windows->windows(), "ZorvideoService")) << "Остановить stops them all";
}

TEST_F(RecorderProgram, ADamagedFileIsMendedOrSetAsideAndRecordingGoesOnAtOnce) {
    // A torn tail: a count naming two frames that never reached the disk.
    settings.WaitForNextFrame = 1000;
    apply();
    auto once = start({"--once"});
    ASSERT_TRUE(once->waitForFinished(10'000));
    zvtest::RawZvf(file).putCount(3);
    auto recorder = start();
    ASSERT_TRUE(waitFor([&] { return frames() == 2; }, 3000)) << "within one frame period";
    expectSound(file);
    EXPECT_LE(quit(*recorder), 1000);
    std::string log = recorder->readAllStandardError().toStdString();
    EXPECT_NE(log.find("отброшено кадров: 2"), std::string::npos) << log;

    // A count of -1: set aside unchanged, a new file takes the frames.
    zvtest::RawZvf(file).putCount(-1);
    const std::string damaged = zvtest::readFile(file);
    recorder = start();
    ASSERT_TRUE(waitFor([&] { return frames() == 1; }, 3000));
    EXPECT_LE(quit(*recorder), 1000);
    log = recorder->readAllStandardError().toStdString();
    EXPECT_NE(log.find("отложен без изменений"), std::string::npos) << log;
    std::vector<std::string> setAside;
    for (const std::string &path : zvfFiles(folder)) {
        if (path.find("_damaged.zvf") != std::string::npos)
            setAside.push_back(path);
    }
    ASSERT_EQ(setAside.size(), 1u);
    EXPECT_EQ(zvtest::readFile(setAside[0]), damaged);
    expectSound(file);
    // The summary counts what was lost; the log is kept beside cnf.INI where no journal runs.
    EXPECT_NE(log.find("потеряно из-за ошибок записи: 0"), std::string::npos) << log;
    if (!fs::exists("/run/systemd/journal/socket")) {
        const std::string kept = zvtest::readFile(root.file("drive_c/WINDOWS/ZORVideoService.log"));
        EXPECT_NE(kept.find("отложен без изменений"), std::string::npos) << kept;
    }
}

// Another user plants links in a folder everybody may write: at the name the recorder once used
// for its new files, and at the recording's own name. Neither is followed; the second makes the
// recorder fail, which it publishes on its window for the settings window to show.
TEST_F(RecorderProgram, LinksPlantedByAnotherUserAreNotFollowedAndFailuresArePublished) {
    const std::string victim = root.file("victim");
    zvtest::writeFile(victim, "keep me");
    fs::create_directories(folder);
    for (const std::string &path : {root.path(), root.file("drive_c"), root.file("drive_c/VELD")})
        fs::permissions(path, fs::perms::owner_all | fs::perms::others_exec);
    fs::permissions(folder, fs::perms::all);
    auto plant = [&](const std::string &link) {
        QProcess p;
        p.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "ln", "-s",
                            QString::fromStdString(victim), QString::fromStdString(link)});
        ASSERT_TRUE(p.waitForFinished(10'000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    };
    plant(folder + "/.BigFile.zvf.new");
    auto recorder = start();
    ASSERT_TRUE(waitFor([&] { return frames() >= 2; }, 5000));
    EXPECT_EQ(zvtest::readFile(victim), "keep me");
    auto state = [&] {
        const auto w = zv::findWindowByTitle(windows->windows(), "ZorvideoService");
        return w ? windows->textProperty(w->id, "_ZORVIDEO_RECORDER_STATE").value_or("") : "";
    };
    EXPECT_EQ(state(), "recording");

    plant(folder + "/Planted.zvf");
    settings.OutFile = "C:\\VELD\\ZORVIDEO\\Planted.zvf";
    apply();
    ASSERT_TRUE(waitFor([&] { return state().rfind("failing: ", 0) == 0; }, 5000)) << state();
    EXPECT_NE(state().find("символьная ссылка другого пользователя"), std::string::npos) << state();
    EXPECT_EQ(zvtest::readFile(victim), "keep me");
    EXPECT_LE(quit(*recorder), 1000);
}

TEST_F(RecorderProgram, AnUnchangedScreenIsWrittenAsTheSameBytes) {
    // A screen of many colours, for both palettes: change finding takes equal bytes for an
    // unchanged screen.
    std::vector<uint32_t> pixels(160 * 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x)
            pixels[static_cast<size_t>(y * 160 + x)] = static_cast<uint32_t>(
                ((x * 13) & 0xFF) << 16 | ((y * 7 + x) & 0xFF) << 8 | ((x ^ y) & 0xFF));
    picture.show(pixels.data(), 160, 120, 160);
    for (const int32_t bitRate : {4, 8}) {
        SCOPED_TRACE(bitRate);
        fs::remove(file);
        settings.BitRate = bitRate;
        apply();
        auto recorder = start();
        ASSERT_TRUE(waitFor([&] { return frames() >= 4; }, 5000)) << "frames within 5 s";
        quit(*recorder);
        std::unique_ptr<zv::RandomFile> recording =
            zv::localFileSystem().open(file, zv::FileSystem::OpenMode::Read);
        const int32_t n = zvf::heldFrames(*recording);
        ASSERT_GE(n, 4);
        EXPECT_EQ(zvf::findChanges(*recording, 0, n - 1), std::vector<int32_t>{0});
        const std::vector<TZVFFrameEntry> entries = TZVFFormat(file).ReadFrameEntries(0, n);
        for (const TZVFFrameEntry &e : entries)
            EXPECT_EQ(e.Size, entries.front().Size);
    }
}
