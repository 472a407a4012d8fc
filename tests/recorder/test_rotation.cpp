// The recorder's files: rotated names, the writer's rotation, creation, lock and faults.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "container/ZVFCheck.h"
#include "container/ZVFformatUnit.h"
#include "platform/DateTime.h"
#include "platform/Error.h"
#include "recorder/RecordingWriter.h"
#include "recorder/RotatedFiles.h"
#include "support/RawZvf.h"
#include "support/TempRoot.h"

namespace fs = std::filesystem;

namespace {

double at(const char *text) {
    return *zv::parseDateTimeIso(text);
}

using zvtest::namesIn;

void touch(const std::string &path) {
    std::ofstream(path) << "x";
}

struct Collected {
    std::vector<std::string> lines;
    zv::RecorderLog log() {
        return [this](zv::LogLevel, const std::string &text) { lines.push_back(text); };
    }
};

std::vector<uint8_t> frame(size_t size, uint8_t fill = 7) {
    return std::vector<uint8_t>(size, fill);
}

void expectSound(const std::string &file) {
    const zvf::CheckResult check = zvf::checkFile(file);
    EXPECT_EQ(check.problems, 0) << file << ": " << (check.lines.empty() ? "" : check.lines[0]);
}

}  // namespace

TEST(RotatedFiles, NamesOfTheRotationPatternOnlyOldestFirst) {
    zvtest::TempRoot root;
    const std::string rec = root.file("BigFile.zvf");
    EXPECT_EQ(zv::rotatedFileName(rec, at("2024-03-10 08:15:30.999")),
              root.file("BigFile_20240310_081530.zvf"));
    EXPECT_EQ(zv::rotatedFileName(rec, at("2024-03-10 08:15:30"), 3),
              root.file("BigFile_20240310_081530_3.zvf"));

    for (const char *name :
         {"BigFile.zvf", "BigFile_20240310_081530_2.zvf", "BigFile_20240310_081530.zvf",
          "BigFile_20231231_235959.zvf", "BigFile_20240310_081530_10.zvf",
          // not of the pattern: other stems, extensions, digits, numbers
          "Other_20200101_000000.zvf", "BigFile_2024031_081530.zvf",
          "BigFile_20240310_081530.zvf.7z", "BigFile_20240310-081530.zvf",
          "BigFile_20240310_081530_1.zvf", "BigFile_20240310_081530_x.zvf",
          "BigFile_20240310_08153a.zvf", "BigFile.zvf.new", "bigfile_20200101_000000.zvf"})
        touch(root.file(name));
    fs::create_directory(root.file("BigFile_20000101_000000.zvf"));  // a folder is no file

    std::vector<std::string> expected;
    for (const char *name : {"BigFile_20231231_235959.zvf", "BigFile_20240310_081530.zvf",
                             "BigFile_20240310_081530_2.zvf", "BigFile_20240310_081530_10.zvf"})
        expected.push_back(root.file(name));
    EXPECT_EQ(zv::rotatedFiles(rec), expected);
    EXPECT_TRUE(zv::isRotatedFileName(rec, "BigFile_20240310_081530_2.zvf"));
    EXPECT_FALSE(zv::isRotatedFileName(rec, "BigFile.zvf"));
    EXPECT_TRUE(zv::rotatedFiles(root.file("missing/BigFile.zvf")).empty());
}

class Writer : public ::testing::Test {
protected:
    zvtest::TempRoot root;
    Collected log;
    zv::RecordingWriter writer{zv::localFileSystem(), log.log()};
    std::string folder = root.file("drive_c/VELD/ZORVIDEO");
    std::string file = folder + "/BigFile.zvf";
    double t0 = at("2024-03-10 08:15:30");
    double second = 1.0 / 86'400;
};

TEST_F(Writer, RotatesAtTheSizeLimitIntoNamesOfTheFirstFrame) {
    fs::create_directories(root.file("drive_c"));
    // Each file holds the data base and three frames of 100 bytes.
    const int64_t limit = 10'000'000 + 300;
    for (int i = 0; i < 3; ++i)
        writer.append(file, limit, frame(100, static_cast<uint8_t>(i)), t0 + i * second);
    TZVFFormat heldOpen(file);  // a viewer that has the first file open
    for (int i = 3; i < 8; ++i)
        writer.append(file, limit, frame(100, static_cast<uint8_t>(i)), t0 + i * second);
    writer.flush();  // the last count follows on the committer's thread
    // It keeps reading the file it opened, now under its rotated name.
    EXPECT_EQ(heldOpen.FrameCount(), 3);
    TZVFFrameEntry kept;
    heldOpen.ReadFrameEntry(2, kept);
    EXPECT_EQ(zv::formatDateTimeIso(kept.DateTime), "2024-03-10 08:15:32.000");
    EXPECT_EQ(namesIn(folder),
              (std::vector<std::string>{"BigFile.zvf", "BigFile_20240310_081530.zvf",
                                        "BigFile_20240310_081533.zvf"}));
    for (const std::string &name : namesIn(folder)) {
        SCOPED_TRACE(name);
        expectSound(folder + "/" + name);
        EXPECT_LE(fs::file_size(folder + "/" + name), static_cast<uintmax_t>(limit));
    }
    TZVFFormat current(file);
    ASSERT_EQ(current.FrameCount(), 2);
    TZVFFrameEntry e;
    current.ReadFrameEntry(0, e);
    EXPECT_EQ(zv::formatDateTimeIso(e.DateTime), "2024-03-10 08:15:36.000");
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_NE(log.lines[0].find("BigFile_20240310_081530.zvf"), std::string::npos) << log.lines[0];

    // A frame larger than the limit still goes into an empty file (one frame per file), and a
    // limit of 0 is none.
    writer.append(file, 10, frame(500), t0 + 9 * second);
    writer.append(file, 10, frame(500), t0 + 10 * second);
    writer.flush();
    TZVFFormat again(file);
    EXPECT_EQ(again.FrameCount(), 1);
    writer.append(file, 0, frame(500), t0 + 11 * second);
    writer.flush();
    EXPECT_EQ(again.FrameCount(), 2);
}

TEST_F(Writer, NameClashesGetNumbersAndAClockSetBackStartsANewFile) {
    fs::create_directories(folder);
    touch(folder + "/BigFile_20240310_081530.zvf");
    writer.append(file, 0, frame(50), t0);
    writer.append(file, 0, frame(50), t0 + second);
    // An hour back (the end of summer time): the file is closed, so date-times rise in each.
    writer.append(file, 0, frame(50), t0 - 3600 * second);
    // A limit reached with a name that is taken twice.
    touch(folder + "/BigFile_20240310_071530_2.zvf");
    writer.append(file, 10'000'060, frame(50), t0 - 3599 * second);
    EXPECT_EQ(namesIn(folder),
              (std::vector<std::string>{
                  "BigFile.zvf", "BigFile_20240310_071530.zvf", "BigFile_20240310_071530_2.zvf",
                  "BigFile_20240310_081530.zvf", "BigFile_20240310_081530_2.zvf"}));
    TZVFFormat moved(folder + "/BigFile_20240310_081530_2.zvf");
    EXPECT_EQ(moved.FrameCount(), 2);
    expectSound(file);
    expectSound(folder + "/BigFile_20240310_081530_2.zvf");
}

TEST_F(Writer, AFullIndexRotates) {
    fs::create_directories(folder);
    {
        // A file with 499,900 entries, all naming one sound frame of 4 bytes.
        std::vector<uint8_t> index(499'900 * 20);
        const int64_t offset = 0;
        const int32_t size = 4;
        for (size_t i = 0; i < 499'900; ++i) {
            std::memcpy(&index[i * 20], &offset, 8);
            std::memcpy(&index[i * 20 + 8], &size, 4);
            std::memcpy(&index[i * 20 + 12], &t0, 8);
        }
        zvtest::RawZvf raw(file);
        raw.putCount(499'900);
        raw.put(2000, index.data(), index.size());
        raw.put(10'000'000, "GIF8", 4);
    }
    writer.append(file, 0, frame(40), t0 + second);
    writer.flush();
    EXPECT_EQ(namesIn(folder),
              (std::vector<std::string>{"BigFile.zvf", "BigFile_20240310_081530.zvf"}));
    TZVFFormat fresh(file);
    EXPECT_EQ(fresh.FrameCount(), 1);
}

TEST_F(Writer, NewFilesNeverStandEmptyAndFoldersAreMadeBelowAnExistingDrive) {
    // No drive folder: nothing is made, the frame fails.
    EXPECT_THROW(writer.append(file, 0, frame(10), t0), zv::Error);
    EXPECT_FALSE(fs::exists(folder));

    fs::create_directories(root.file("drive_c"));
    writer.append(file, 0, frame(10), t0);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"BigFile.zvf"}) << "no temporary left";
    expectSound(file);

    // A new file after a rotation is created with its count: a reader never sees less.
    writer.append(file, 1, frame(10), t0 + second);
    EXPECT_GE(fs::file_size(file), 4u);
}

TEST_F(Writer, OneWriterPerFileAndAFileReplacedBehindItsBackIsOpenedAnew) {
    fs::create_directories(folder);
    writer.append(file, 0, frame(10), t0);
    zv::RecordingWriter other(zv::localFileSystem(), {});
    EXPECT_THROW(other.append(file, 0, frame(10), t0 + second), zv::Error);

    // Removed meanwhile (an operator cleaning up): the next frame starts a new file by that name.
    fs::remove(file);
    writer.append(file, 0, frame(10), t0 + second);
    writer.flush();
    TZVFFormat fresh(file);
    EXPECT_EQ(fresh.FrameCount(), 1);

    // Recording switched off releases the file (and its lock).
    writer.close();
    other.append(file, 0, frame(10), t0 + 2 * second);
    other.flush();
    EXPECT_EQ(fresh.FrameCount(), 2);
}

TEST_F(Writer, AFullDiskFailsTheFrameWithoutDamageAndTheNextFrameGoesOn) {
    // A file-size limit stands in for a full disk: writes past it fail with EFBIG part way.
    fs::create_directories(folder);
    writer.append(file, 0, frame(100), t0);
    writer.flush();
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    auto handler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = previous;
    tight.rlim_cur = 10'000'150;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    EXPECT_THROW(writer.append(file, 0, frame(100), t0 + second), zv::Error);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    ::signal(SIGXFSZ, handler);

    expectSound(file);
    TZVFFormat reader(file);
    EXPECT_EQ(reader.FrameCount(), 1);
    writer.append(file, 0, frame(100, 9), t0 + 2 * second);
    writer.flush();
    EXPECT_EQ(reader.FrameCount(), 2);
    expectSound(file);
}

TEST_F(Writer, AReadOnlyFolderFailsTheFrameAndDamagesNothing) {
    fs::create_directories(folder);
    writer.append(file, 0, frame(10), t0);
    writer.close();
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    {
        zvtest::ScopedFileRights rights;  // root too obeys the folder's rights
        // The file itself is writable, but rotation cannot rename inside the folder.
        EXPECT_THROW(writer.append(file, 1, frame(10), t0 + second), zv::Error);
        // Nor can a new file be made there.
        EXPECT_THROW(writer.append(folder + "/New.zvf", 0, frame(10), t0 + second), zv::Error);
    }
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"BigFile.zvf"});
    expectSound(file);
    TZVFFormat kept(file);
    EXPECT_EQ(kept.FrameCount(), 1);
    writer.append(file, 1, frame(10), t0 + 2 * second);  // room again: it rotates
    EXPECT_EQ(namesIn(folder).size(), 2u);
}
