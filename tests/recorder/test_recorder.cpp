// The recorder's engine with a fake screen, clock and free space: schedule, settings, the
// free-space rule and failures. The program around it is tested in test_recorder_program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "container/ZVFCheck.h"
#include "container/ZVFformatUnit.h"
#include "platform/DateTime.h"
#include "recorder/DiskGuard.h"
#include "recorder/FrameSchedule.h"
#include "recorder/Recorder.h"
#include "support/Fakes.h"
#include "support/TempRoot.h"

namespace fs = std::filesystem;

namespace {

struct Collected {
    std::vector<std::string> lines;
    zv::RecorderLog log() {
        return [this](zv::LogLevel, const std::string &text) { lines.push_back(text); };
    }
    int count(const std::string &part) const {
        return static_cast<int>(
            std::count_if(lines.begin(), lines.end(),
                          [&](const std::string &l) { return l.find(part) != std::string::npos; }));
    }
};

void writeBytes(const std::string &path, size_t size) {
    std::ofstream(path) << std::string(size, 'z');
}

// Free space that the test computes when asked.
class ComputedFreeSpace : public zv::FreeSpaceSource {
public:
    std::optional<int64_t> freeBytes(std::string_view) override { return answer(); }
    std::function<std::optional<int64_t>()> answer = [] { return std::nullopt; };
};

}  // namespace

TEST(FrameSchedule, SteadySlotsSkipWhatWasMissedAndFollowANewDelay) {
    zv::FrameSchedule s(1000, 100);
    EXPECT_TRUE(s.take(1000));  // the first frame at once
    EXPECT_FALSE(s.take(1099));
    EXPECT_EQ(s.msUntilDue(1050), 50u);
    EXPECT_TRUE(s.take(1130));  // late: the slot of 1100, the next at 1200
    EXPECT_EQ(s.msUntilDue(1130), 70u);
    EXPECT_TRUE(s.take(1555));  // busy: slots 1200..1400 skipped, the frame counts for 1500
    EXPECT_EQ(s.skipped(), 3u);
    EXPECT_EQ(s.msUntilDue(1555), 45u);
    // A longer delay counts from the slot of the last frame.
    s.setDelay(1000);
    EXPECT_EQ(s.msUntilDue(1555), 945u);
    // A shorter one too; when its slot has passed, the next frame is due at once.
    s.setDelay(40);
    EXPECT_TRUE(s.due(1555));
    EXPECT_TRUE(s.take(1555));
    EXPECT_EQ(s.msUntilDue(1555), 25u);  // on the grid 1500 + k * 40
}

class Guard : public ::testing::Test {
protected:
    zvtest::TempRoot root;
    Collected log;
    ComputedFreeSpace space;
    zv::DiskGuard guard{space, log.log()};
    std::string folder = root.file("rec");
    std::string rec = folder + "/BigFile.zvf";
    int64_t disk = 0;  // free space without the folder's files
    static constexpr int64_t kMb = 1'048'576;

    void SetUp() override {
        // What the folder holds comes off the free space, so a deletion frees it.
        fs::create_directory(folder);
        space.answer = [this]() -> std::optional<int64_t> {
            int64_t used = 0;
            for (const auto &e : fs::directory_iterator(folder))
                used += static_cast<int64_t>(e.file_size());
            return disk - used;
        };
        writeBytes(rec, 3 * kMb);
        for (const char *name :
             {"BigFile_20240101_000000.zvf", "BigFile_20240102_000000.zvf",
              "BigFile_20240101_000000_2.zvf", "Other_20200101_000000.zvf", "notes.txt"})
            writeBytes(folder + "/" + name, kMb);
    }
    std::vector<std::string> left() {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(Guard, DeletesTheOldestRotatedFilesOnlyUntilThereIsRoom) {
    disk = 11 * kMb + kMb / 2;  // 8 MB of files: 3.5 MB free, one deletion makes 4.5
    EXPECT_TRUE(guard.allows(rec, 4, true, 0));
    EXPECT_EQ(left(), (std::vector<std::string>{"BigFile.zvf", "BigFile_20240101_000000_2.zvf",
                                                "BigFile_20240102_000000.zvf",
                                                "Other_20200101_000000.zvf", "notes.txt"}));
    EXPECT_EQ(log.count("удален старый файл"), 1);

    // Much less room: every rotated file goes, then the recording pauses; the current file, the
    // other recording and other files stay.
    disk = 9 * kMb;
    EXPECT_TRUE(guard.allows(rec, 4, true, 500)) << "measured at most once a second";
    EXPECT_FALSE(guard.allows(rec, 4, true, 1000));
    EXPECT_TRUE(guard.paused());
    EXPECT_EQ(left(),
              (std::vector<std::string>{"BigFile.zvf", "Other_20200101_000000.zvf", "notes.txt"}));
    EXPECT_EQ(log.count("удален старый файл"), 3);
    EXPECT_EQ(log.count("приостановлена"), 1);

    // Room comes back; exactly the limit free is still too little. Resuming is logged once.
    EXPECT_FALSE(guard.allows(rec, 4, true, 2000));
    disk = 9 * kMb + 1;
    EXPECT_TRUE(guard.allows(rec, 4, true, 3000));
    EXPECT_FALSE(guard.paused());
    EXPECT_EQ(log.count("продолжена"), 1);
    EXPECT_EQ(log.count("приостановлена"), 1);
}

TEST_F(Guard, WithoutRecursionItPausesAndDeletesNothing) {
    disk = 11 * kMb;
    EXPECT_FALSE(guard.allows(rec, 4, false, 0));
    EXPECT_EQ(left().size(), 6u);
    EXPECT_FALSE(guard.allows(rec, 4, false, 1000));
    EXPECT_EQ(log.count("приостановлена"), 1) << "logged once per pause";
    disk = 20 * kMb;
    EXPECT_TRUE(guard.allows(rec, 4, false, 2000));
    EXPECT_EQ(log.count("продолжена"), 1);
    // A negative limit never pauses, not even on a full disk; unmeasurable space lets frames
    // through.
    disk = 8 * kMb;
    EXPECT_TRUE(guard.allows(rec, -5, false, 3000));
    space.answer = [] { return std::nullopt; };
    EXPECT_TRUE(guard.allows(rec, 4, false, 4000));
    EXPECT_EQ(log.count("Не удается узнать свободное место"), 1);
}

class Engine : public ::testing::Test {
protected:
    zvtest::TempRoot root;
    Collected log;
    zvtest::FakeScreenSource screen{64, 48, 0x00FF8000};
    zvtest::FakeFreeSpace space;              // a terabyte
    zvtest::FakeClock clock{4'294'967'000u};  // wraps during the test
    double wallClock = *zv::parseDateTimeIso("2024-03-10 08:15:30");
    TRecordingSettings settings;

    void SetUp() override {
        fs::create_directories(root.file("drive_c"));
        space.bytes = int64_t{1} << 40;
        settings.EnableRec = true;
        settings.WaitForNextFrame = 100;
        settings.OutFile = "C:\\VELD\\rec.zvf";
    }
    zv::RecorderEnvironment services() {
        return {screen, space, clock, [this] { return wallClock; }, log.log()};
    }
    std::string file() { return root.file("drive_c/VELD/rec.zvf"); }
    int32_t frames() { return fs::exists(file()) ? TZVFFormat(file()).FrameCount() : 0; }
    // Runs the loop for ms milliseconds of the fake clock, in steps of step ms.
    void run(zv::Recorder &r, int ms, int step = 10) {
        for (int t = 0; t < ms; t += step) {
            r.runDueFrame();
            clock.advance(step);
            wallClock += step / 86'400'000.0;
        }
    }
};

TEST_F(Engine, RecordsTheScreenOnScheduleAndFollowsNewSettings) {
    zv::Recorder r(services(), settings);
    run(r, 1000);
    EXPECT_EQ(frames(), 10);
    TZVFFormat zvf(file());
    zv::GifImage image;
    ASSERT_TRUE(zvf.LoadFrame(9, image));
    EXPECT_EQ(image.width(), 64);
    // One colour fits any palette: it is stored exactly.
    EXPECT_EQ(image.pixels()[0], 0xFFFF8000u);
    const auto entries = zvf.ReadFrameEntries(0, 10);
    EXPECT_EQ(zv::formatDateTimeIso(entries[1].DateTime), "2024-03-10 08:15:30.100");
    EXPECT_EQ(*zv::parseDateTimeIso(zv::formatDateTimeIso(entries[7].DateTime)),
              entries[7].DateTime);

    // Delay 250 ms: four frames a second from the next frame on.
    settings.WaitForNextFrame = 250;
    r.applySettings(settings);
    run(r, 1000);
    EXPECT_EQ(frames(), 14);
    // Below the minimum: 40 ms, on the grid of the last frame (1900 ms): its slot 1980 is taken at
    // once, then ten more.
    settings.WaitForNextFrame = 5;
    r.applySettings(settings);
    run(r, 400);
    EXPECT_EQ(frames(), 25);
    // Off: the program runs on and writes nothing, and lets go of the file.
    settings.EnableRec = false;
    r.applySettings(settings);
    run(r, 500);
    EXPECT_EQ(frames(), 25);
    EXPECT_EQ(log.count("Запись выключена"), 1);
    fs::rename(file(), file() + ".moved");
    // On again, with 256 colours, into a new file.
    settings.EnableRec = true;
    settings.BitRate = 8;
    screen.fill(0x00123456);
    r.applySettings(settings);
    run(r, 100);
    EXPECT_EQ(frames(), 3);
    ASSERT_TRUE(TZVFFormat(file()).LoadFrame(0, image));
    EXPECT_EQ(image.pixels()[0], 0xFF123456u);
    EXPECT_EQ(zvf::checkFile(file()).problems, 0);
}

TEST_F(Engine, FailuresAreLoggedOnceAndRecordingResumes) {
    settings.OutFile = "D:\\rec.zvf";  // no such drive yet
    zv::Recorder r(services(), settings);
    run(r, 500);
    EXPECT_EQ(r.framesWritten(), 0u);
    EXPECT_EQ(log.count("Кадр не записан"), 1);
    fs::create_directories(root.file("drive_d"));
    run(r, 200);
    EXPECT_EQ(r.framesWritten(), 2u);
    EXPECT_EQ(log.count("снова записываются"), 1);

    screen.failWith("экран недоступен");
    run(r, 300);
    EXPECT_EQ(log.count("экран недоступен"), 1);
    screen.failWith("");
    run(r, 100);
    EXPECT_EQ(r.framesWritten(), 3u);

    // A path that names no place on this machine is refused, not created somewhere.
    settings.OutFile = "\\\\server\\share\\rec.zvf";
    r.applySettings(settings);
    run(r, 300);
    EXPECT_EQ(r.framesWritten(), 3u);
    EXPECT_EQ(log.count("не может быть сопоставлен"), 1);
}

TEST_F(Engine, ABusyMachineSkipsSlotsAndLowSpacePausesFrames) {
    zv::Recorder r(services(), settings);
    run(r, 300, 100);
    clock.advance(750);  // a long stall: slots 300 .. 900 skipped, no burst afterwards
    EXPECT_TRUE(r.runDueFrame());
    EXPECT_FALSE(r.runDueFrame());
    EXPECT_EQ(r.slotsSkipped(), 7u);
    EXPECT_EQ(frames(), 4);

    settings.RecursiveRecord = false;
    settings.MinHDDSize = 2'000'000;  // more than the fake disk's terabyte
    r.applySettings(settings);
    clock.advance(1000);
    run(r, 1000);
    EXPECT_EQ(frames(), 4);
    EXPECT_EQ(log.count("приостановлена"), 1);
    settings.MinHDDSize = 1000;
    r.applySettings(settings);
    run(r, 1100);
    EXPECT_GE(frames(), 14);
    // --once takes a frame whatever the switch says.
    settings.EnableRec = false;
    r.applySettings(settings);
    EXPECT_TRUE(r.takeFrame());
}

TEST(RecorderSettings, FileProblemsGiveTheDefaults) {
    zvtest::TempRoot root;
    TRecordingSettings read;
    std::string problem = zv::readRecordingSettings(root.file("none.ini"), read);
    EXPECT_EQ(read, TRecordingSettings{});
    EXPECT_NE(problem.find("Нет файла настроек"), std::string::npos) << problem;
    fs::create_directory(root.file("folder.ini"));
    problem = zv::readRecordingSettings(root.file("folder.ini"), read);
    EXPECT_EQ(read, TRecordingSettings{});
    EXPECT_NE(problem.find("Не удается прочитать"), std::string::npos) << problem;
    std::ofstream(root.file("ok.ini")) << "[zorvideo]\nzvEnableRec=1\nzvWaitForNextFrame=x\n";
    problem = zv::readRecordingSettings(root.file("ok.ini"), read);
    EXPECT_TRUE(problem.empty()) << problem;
    EXPECT_TRUE(read.EnableRec);
    EXPECT_EQ(read.WaitForNextFrame, 1000);
    EXPECT_EQ(zv::frameDelayMs(39), 40u);
    EXPECT_EQ(zv::frameDelayMs(-7), 40u);
}
