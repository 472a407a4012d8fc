// Range export of TZVFFormat: ZVF targets (by index and by time), pictures, the 7z step, and what
// a failure leaves behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>

#include "archive/SevenZipPeer.h"
#include "container/GifFixtures.h"
#include "container/GifImage.h"
#include "container/ZVFAppender.h"
#include "container/ZVFCheck.h"
#include "container/ZVFformatUnit.h"
#include "platform/DateTime.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "platform/Messages.h"
#include "platform/PartFile.h"
#include "support/ErrorInChild.h"
#include "support/ErrorOf.h"
#include "support/MemoryFileSystem.h"
#include "support/PlantedLinks.h"
#include "support/RawZvf.h"
#include "support/TempRoot.h"

namespace fs = std::filesystem;

namespace {

const std::string kBadBounds = "Недопустимые границы экспорта";
const std::string kBadInterval = "Неверно указан временной интервал экспорта";
const std::string kSameFile = "Файл экспорта совпадает с исходным файлом видео";
constexpr int64_t kData = 10'000'000;
// 2010-12-31 12:00:00; frame i of a recording is taken i seconds later.
constexpr double kBase = 40543.5;
constexpr double kSecond = 1.0 / 86'400.0;

double at(double seconds) {
    return kBase + seconds * kSecond;
}

struct Frame {
    std::vector<uint8_t> gif;
    double dateTime;
};

// What a target must hold: count, entries packed from 0 with the source's size and date-time
// bytes, and the frames' bytes.
void expectPacked(const std::string &native, const std::vector<Frame> &frames, size_t first,
                  size_t last) {
    const std::string file = zvtest::readFile(native);
    ASSERT_GE(file.size(), 4u);
    int32_t count;
    std::memcpy(&count, file.data(), 4);
    ASSERT_EQ(count, static_cast<int32_t>(last - first + 1));
    int64_t packed = 0;
    for (size_t k = 0; k <= last - first; ++k) {
        const Frame &f = frames[first + k];
        const char *entry = file.data() + 2000 + 20 * k;
        int64_t offset;
        int32_t size;
        double dateTime;
        std::memcpy(&offset, entry, 8);
        std::memcpy(&size, entry + 8, 4);
        std::memcpy(&dateTime, entry + 12, 8);
        EXPECT_EQ(offset, packed) << "entry " << k;
        EXPECT_EQ(size, static_cast<int32_t>(f.gif.size())) << "entry " << k;
        EXPECT_EQ(std::memcmp(&dateTime, &f.dateTime, 8), 0) << "entry " << k;
        ASSERT_GE(file.size(), static_cast<size_t>(kData + packed) + f.gif.size());
        EXPECT_EQ(std::memcmp(f.gif.data(), file.data() + kData + packed, f.gif.size()), 0)
            << "frame bytes " << k;
        packed += size;
    }
}

int32_t countOf(const std::string &native) {
    int32_t count = -1;
    zv::UniqueFd fd = zv::openFile(native, O_RDONLY);
    zv::readAt(fd.get(), &count, 4, 0);
    return count;
}

using zvtest::errorOf;

// The error that action raises in a child process whose files cannot grow past limit bytes
// (as on a full disk: writes beyond it fail, and a write across it is cut short).
std::string errorWithFileSizeLimit(rlim_t limit, const std::function<void()> &action) {
    return zvtest::errorInChild(
        [limit] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit rl {};
            rl.rlim_cur = rl.rlim_max = limit;
            return ::setrlimit(RLIMIT_FSIZE, &rl) == 0 ? "" : "(no limit)";
        },
        action);
}

class RangeExport : public ::testing::Test {
protected:
    zvtest::TempRoot root;
    std::string source = "C:\\VELD\\rec.zvf";
    std::string sourceNative;
    std::vector<Frame> frames;

    void SetUp() override {
        fs::create_directories(root.file("drive_c/VELD"));
        fs::create_directories(root.file("drive_c/Exp"));
        sourceNative = root.file("drive_c/VELD/rec.zvf");
    }

    void record(const std::vector<double> &times) {
        ZVFAppender out(source);
        for (double t : times) {
            frames.push_back({zvtest::smallGif(static_cast<int>(frames.size())), t});
            out.append(frames.back().gif.data(), frames.back().gif.size(), t);
        }
    }
    void recordSeconds(int n) {
        std::vector<double> times;
        for (int i = 0; i < n; ++i)
            times.push_back(at(i));
        record(times);
    }
    std::string exp(const std::string &name) { return root.file("drive_c/Exp/" + name); }
};

}  // namespace

TEST_F(RangeExport, VideoCopiesTheRangePackedFromOffsetZero) {
    recordSeconds(12);
    TZVFFormat zvf(source);
    zvf.ExportVideo("C:\\Exp\\a.zvf", 3, 7, false);
    expectPacked(exp("a.zvf"), frames, 3, 7);

    // One frame: count 1, offset 0, and nothing beyond the frame's last byte.
    zvf.ExportVideo("C:\\Exp\\one.zvf", 4, 4, false);
    expectPacked(exp("one.zvf"), frames, 4, 4);
    EXPECT_EQ(fs::file_size(exp("one.zvf")), static_cast<uintmax_t>(kData) + frames[4].gif.size());

    // Bounds in either order give the same file; the last frame is a valid bound.
    zvf.ExportVideo("C:\\Exp\\up.zvf", 2, 11, false);
    zvf.ExportVideo("C:\\Exp\\down.zvf", 11, 2, false);
    EXPECT_TRUE(zvtest::readFile(exp("up.zvf")) == zvtest::readFile(exp("down.zvf")));
    expectPacked(exp("down.zvf"), frames, 2, 11);
}

TEST_F(RangeExport, VideoRefusesBoundsOutsideTheFileBeforeWriting) {
    recordSeconds(6);
    TZVFFormat zvf(source);
    EXPECT_EQ(errorOf([&] { zvf.ExportVideo("C:\\Exp\\b.zvf", 2, 6, false); }), kBadBounds);
    EXPECT_EQ(errorOf([&] { zvf.ExportVideo("C:\\Exp\\b.zvf", -1, 3, false); }), kBadBounds);
    EXPECT_EQ(errorOf([&] { zvf.ExportVideo("C:\\Exp\\b.zvf", 6, 0, false); }), kBadBounds);
    EXPECT_FALSE(fs::exists(exp("b.zvf")));
    zvf.ExportVideo("C:\\Exp\\b.zvf", 5, 0, false);
    expectPacked(exp("b.zvf"), frames, 0, 5);

    fs::remove(sourceNative);
    TZVFFormat empty(source);
    EXPECT_EQ(errorOf([&] { empty.ExportVideo("C:\\Exp\\c.zvf", 0, 0, false); }), kBadBounds);
    EXPECT_FALSE(fs::exists(exp("c.zvf")));
}

TEST_F(RangeExport, VideoOverALongerTargetLeavesNothingOfIt) {
    recordSeconds(10);
    TZVFFormat zvf(source);
    zvf.ExportVideo("C:\\Exp\\t.zvf", 0, 9, false);
    zvf.ExportVideo("C:\\Exp\\t.zvf", 6, 7, false);
    zvf.ExportVideo("C:\\Exp\\new.zvf", 6, 7, false);
    // The old entries and frames are gone, not merely unclaimed: the target is what a new file
    // would be, and so is the archive made of it.
    EXPECT_TRUE(zvtest::readFile(exp("t.zvf")) == zvtest::readFile(exp("new.zvf")));
    expectPacked(exp("t.zvf"), frames, 6, 7);

    // Readers see the new frames only.
    TZVFFormat target("C:\\Exp\\t.zvf");
    EXPECT_EQ(target.FrameCount(), 2);
    zv::GifImage image, expected;
    ASSERT_TRUE(target.LoadFrame(1, image));
    expected.loadFromBytes(frames[7].gif.data(), frames[7].gif.size());
    ASSERT_EQ(image.width(), expected.width());
    EXPECT_EQ(std::memcmp(image.pixels(), expected.pixels(), 6 * 4 * 4), 0);
}

TEST_F(RangeExport, VideoPacksFramesStoredOutOfOrderAndWithGaps) {
    // Frames need not be contiguous nor in index order in a source; the target is packed.
    zvtest::RawZvf raw(sourceNative);
    const std::vector<int64_t> offsets = {5'000, 0, 700, 701, 20'000};
    const std::vector<int32_t> sizes = {300, 700, 1, 4'299, 250};
    for (size_t i = 0; i < offsets.size(); ++i) {
        std::vector<uint8_t> bytes(static_cast<size_t>(sizes[i]));
        for (size_t b = 0; b < bytes.size(); ++b)
            bytes[b] = static_cast<uint8_t>(i * 31 + b * 7);
        raw.put(kData + offsets[i], bytes.data(), bytes.size());
        raw.putEntry(static_cast<int64_t>(i), offsets[i], sizes[i], at(static_cast<double>(i)));
        frames.push_back({bytes, at(static_cast<double>(i))});
    }
    raw.putCount(5);
    TZVFFormat zvf(source);
    zvf.ExportVideo("C:\\Exp\\p.zvf", 0, 4, false);
    // Entries 1 to 3 lie back to back in the source and are copied as one run.
    expectPacked(exp("p.zvf"), frames, 0, 4);

    // Onto another file system the kernel does not copy between the files; the bytes are read
    // and written instead.
    if (fs::is_directory("/dev/shm")) {
        const std::string other = "/dev/shm/zorvideo-export-" + std::to_string(::getpid());
        zvf.ExportVideo(other, 0, 4, false);
        expectPacked(other, frames, 0, 4);
        fs::remove(other);
    }
}

TEST_F(RangeExport, VideoReadsFramesBeyondTwoAndFourGigabytes) {
    // Absolute positions from 2^31 and from 2^32 on; a sparse source costs no disk.
    zvtest::RawZvf raw(sourceNative);
    const std::vector<int64_t> offsets = {0, 2'137'483'648 + 5, 4'284'967'296 + 11};
    for (size_t i = 0; i < offsets.size(); ++i) {
        frames.push_back({zvtest::smallGif(static_cast<int>(i)), at(static_cast<double>(i))});
        raw.put(kData + offsets[i], frames[i].gif.data(), frames[i].gif.size());
        raw.putEntry(static_cast<int64_t>(i), offsets[i],
                     static_cast<int32_t>(frames[i].gif.size()), frames[i].dateTime);
    }
    raw.putCount(3);
    TZVFFormat zvf(source);
    zvf.ExportVideo("C:\\Exp\\far.zvf", 0, 2, false);
    expectPacked(exp("far.zvf"), frames, 0, 2);
    EXPECT_LT(fs::file_size(exp("far.zvf")), static_cast<uintmax_t>(kData + 10'000));
}

TEST_F(RangeExport, VideoRefusesDamagedEntriesBeforeTouchingTheTarget) {
    recordSeconds(4);
    const std::string old(10'000, 'x');
    zvtest::writeFile(exp("keep.zvf"), old);
    TZVFFormat zvf(source);
    // Every entry that names no readable frame is refused, an empty one too: a target must pass
    // the check, which an empty frame would not.
    const int64_t beyond = static_cast<int64_t>(fs::file_size(sourceNative)) - kData - 10;
    const struct {
        int64_t offset;
        int32_t size;
        std::string why;
    } damages[] = {
        {0, -5, "Недопустимый размер кадра: -5"},
        {0, 0, "Недопустимый размер кадра: 0"},
        {-1, 10, "Недопустимое смещение кадра: -1"},
        {beyond, 11, "данные кадра за концом файла"},
    };
    for (const auto &d : damages) {
        SCOPED_TRACE(d.why);
        zvtest::RawZvf(sourceNative).putEntry(2, d.offset, d.size, at(2));
        const std::string error =
            errorOf([&] { zvf.ExportVideo("C:\\Exp\\keep.zvf", 0, 3, false); });
        EXPECT_EQ(error.find("Кадр 2 исходного файла видео повреждён: "), 0u) << error;
        EXPECT_NE(error.find(d.why), std::string::npos) << error;
        EXPECT_NE(errorOf([&] { zvf.ExportVideo("C:\\Exp\\new.zvf", 2, 2, false); }), "(no error)");
    }
    EXPECT_EQ(zvtest::readFile(exp("keep.zvf")), old);
    EXPECT_FALSE(fs::exists(exp("new.zvf")));
    // The entries outside the damage still export.
    zvf.ExportVideo("C:\\Exp\\new.zvf", 0, 1, false);
    expectPacked(exp("new.zvf"), frames, 0, 1);
}

TEST_F(RangeExport, VideoOntoTheSourceItselfIsRefusedUnderAnyName) {
    recordSeconds(5);
    const std::string original = zvtest::readFile(sourceNative);
    fs::create_symlink(sourceNative, exp("link.zvf"));
    fs::create_hard_link(sourceNative, exp("hard.zvf"));
    TZVFFormat zvf(source);
    for (const std::string &name :
         {source, std::string("c:/VELD/rec.zvf"), sourceNative,
          root.file("drive_c/VELD/../VELD/./rec.zvf"), exp("link.zvf"), exp("hard.zvf")}) {
        EXPECT_EQ(errorOf([&] { zvf.ExportVideo(name, 1, 2, false); }), kSameFile) << name;
        EXPECT_EQ(errorOf([&] { zvf.ExportVideoByTime(name, false, at(0.5), at(3.5)); }), kSameFile)
            << name;
    }
    EXPECT_TRUE(zvtest::readFile(sourceNative) == original);
}

TEST_F(RangeExport, NoOutputIsTheSourceTheArchiveAndPicturesNeither) {
    recordSeconds(3);
    const std::string original = zvtest::readFile(sourceNative);
    TZVFFormat zvf(source);
    // The archive beside the target names the recording (a copy's name made a link of it).
    fs::create_hard_link(sourceNative, exp("s.zvf.7z"));
    EXPECT_EQ(errorOf([&] { zvf.ExportVideo("C:\\Exp\\s.zvf", 0, 2, true); }), kSameFile);
    EXPECT_FALSE(fs::exists(exp("s.zvf"))) << "refused before anything was written";
    // The recording lies in the picture folder under the name of a picture.
    fs::create_directories(exp("pics"));
    fs::create_symlink(sourceNative, exp("pics/101231 120001.GIF"));
    EXPECT_EQ(errorOf([&] { zvf.ExportPictures("C:\\Exp\\pics", 0, 2); }),
              kSameFile + ": \"" + exp("pics/101231 120001.GIF") + "\"");
    EXPECT_TRUE(zvtest::readFile(sourceNative) == original);
    EXPECT_TRUE(fs::is_symlink(exp("pics/101231 120001.GIF")));
}

TEST_F(RangeExport, ATargetBeingWrittenRefusesASecondExportAtOnce) {
    recordSeconds(3);
    TZVFFormat zvf(source);
    const std::string busy = "Файл \"" + exp("t.zvf") + "\" уже записывается другим экспортом";
    {
        // Another export holds the name.
        const zv::TargetLock other(exp("t.zvf"));
        EXPECT_EQ(errorOf([&] { zvf.ExportVideo("C:\\Exp\\t.zvf", 0, 2, false); }), busy);
    }
    zvf.ExportVideo("C:\\Exp\\t.zvf", 0, 2, false);
    // Another export writes the same file under another name (a link to it).
    fs::create_symlink(exp("t.zvf"), exp("alias.zvf"));
    const std::string before = zvtest::readFile(exp("t.zvf"));
    zv::UniqueFd held = zv::openFile(exp("t.zvf"), O_RDONLY);
    ASSERT_EQ(::flock(held.get(), LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(errorOf([&] { zvf.ExportVideo("C:\\Exp\\alias.zvf", 1, 1, false); }),
              "Файл \"" + exp("alias.zvf") + "\" уже записывается другим экспортом");
    EXPECT_TRUE(zvtest::readFile(exp("t.zvf")) == before);
    // The archive's name is held too: a picture of the same name would mix with it.
    held.reset();
    const zv::TargetLock archive(exp("t.zvf.7z"));
    EXPECT_EQ(errorOf([&] { zvf.ExportVideo("C:\\Exp\\t.zvf", 0, 2, true); }),
              "Файл \"" + exp("t.zvf.7z") + "\" уже записывается другим экспортом");
}

TEST_F(RangeExport, LinksAnotherUserPlantedUnderOurNamesAreReplacedNeverFollowed) {
    recordSeconds(2);
    TZVFFormat zvf(source);
    const zvtest::SharedFolders shared = zvtest::makeSharedFolders(root.path());
    ASSERT_FALSE(shared.open.empty());
    const std::string victim = root.file("victim");
    zvtest::writeFile(victim, "root's own");
    for (const std::string &folder : {shared.open, shared.sticky}) {
        SCOPED_TRACE(folder);
        // The archive's name beside the target, and a picture's name in the folder.
        const std::string archive = folder + "/t.zvf.7z";
        const std::string picture = folder + "/101231 120000.GIF";
        if (!zvtest::plantLinkAsNobody(victim, archive) ||
            !zvtest::plantLinkAsNobody(victim, picture))
            GTEST_SKIP() << "needs root and setpriv to plant links as another user";
        zvf.ExportVideo(folder + "/t.zvf", 0, 1, true);
        zvf.ExportPictures(folder, 0, 1);
        EXPECT_EQ(zvtest::readFile(victim), "root's own");
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(archive)));
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(picture)));
    }
}

TEST_F(RangeExport, AFolderRemovedDuringTheExportFailsIt) {
    recordSeconds(3);
    fs::create_directories(root.file("drive_c/Gone"));
    TZVFFormat zvf(source);
    zvf.OnExportFrames = [&](int64_t done, int64_t) {
        if (done == 0)
            fs::rename(root.file("drive_c/Gone"), root.file("drive_c/Moved"));
    };
    const std::string native = root.file("drive_c/Gone/t.zvf");
    EXPECT_EQ(errorOf([&] { zvf.ExportVideo("C:\\Gone\\t.zvf", 0, 2, false); }),
              "Файл \"" + native + "\" удалён или заменён во время экспорта");
}

TEST_F(RangeExport, DamagedDateTimesAreRefusedAsTheCheckRefusesThem) {
    recordSeconds(5);
    TZVFFormat zvf(source);
    const struct {
        double dateTime;
        std::string why;
    } damages[] = {
        {std::numeric_limits<double>::quiet_NaN(), "не являются числом"},
        {std::numeric_limits<double>::infinity(), "не являются числом"},
        {-std::numeric_limits<double>::infinity(), "не являются числом"},
        {at(0.5), "раньше, чем у предыдущего"},
    };
    for (const auto &d : damages) {
        SCOPED_TRACE(d.why);
        zvtest::RawZvf(sourceNative)
            .putEntry(2, static_cast<int64_t>(frames[0].gif.size() + frames[1].gif.size()),
                      static_cast<int32_t>(frames[2].gif.size()), d.dateTime);
        const std::string error = errorOf([&] { zvf.ExportVideo("C:\\Exp\\d.zvf", 0, 4, false); });
        EXPECT_EQ(error, "Кадр 2 исходного файла видео повреждён: дата и время кадра " + d.why);
        EXPECT_FALSE(fs::exists(exp("d.zvf")));
    }
    // What the check accepts of the entries copied is accepted: a range that starts at the
    // frame whose time falls below the one before it.
    zvf.ExportVideo("C:\\Exp\\d.zvf", 2, 4, false);
    EXPECT_EQ(zvf::checkFile(exp("d.zvf")).problems, 0);
}

TEST_F(RangeExport, VideoCountCoversOnlyWhatIsWrittenWhenStopped) {
    recordSeconds(6);
    TZVFFormat zvf(source);
    zvf.ExportVideo("C:\\Exp\\s.zvf", 0, 5, false);
    int64_t lastDone = -1, lastTotal = -1;
    zvf.OnExportProgress = [&](int64_t done, int64_t total) {
        EXPECT_GE(done, lastDone);
        lastDone = done;
        lastTotal = total;
    };
    zvf.ExportVideo("C:\\Exp\\s.zvf", 0, 5, false);
    int64_t all = 0;
    for (const Frame &f : frames)
        all += static_cast<int64_t>(f.gif.size());
    EXPECT_EQ(lastDone, all);
    EXPECT_EQ(lastTotal, all);

    // A failure after the copy began (here: the progress hook) leaves a count of 0 over an old
    // target that held 6 frames, never a count of frames not copied.
    zvf.OnExportProgress = [](int64_t, int64_t) { throw zv::Error("stop"); };
    EXPECT_EQ(errorOf([&] { zvf.ExportVideo("C:\\Exp\\s.zvf", 1, 2, false); }), "stop");
    EXPECT_EQ(countOf(exp("s.zvf")), 0);
}

TEST_F(RangeExport, VideoOnAFullDiskReportsTheErrorAndClaimsNoMissingFrame) {
    // Frames of about 200 KB; the limit cuts the copy in the middle of the data area.
    zvtest::RawZvf raw(sourceNative);
    for (int i = 0; i < 8; ++i) {
        std::vector<uint8_t> bytes(200'000, static_cast<uint8_t>(i + 1));
        raw.put(kData + 200'000 * i, bytes.data(), bytes.size());
        raw.putEntry(i, 200'000 * i, 200'000, at(i));
    }
    raw.putCount(8);
    const std::string original = zvtest::readFile(sourceNative);
    const std::string target = exp("full.zvf");

    const std::string message = errorWithFileSizeLimit(kData + 700'000, [&] {
        TZVFFormat zvf(source);
        zvf.ExportVideo(target, 0, 7, false);
    });

    EXPECT_EQ(message.find("Ошибка записи в файл"), 0u) << message;
    EXPECT_TRUE(zvtest::readFile(sourceNative) == original);
    EXPECT_EQ(countOf(target), 0);
    EXPECT_LE(fs::file_size(target), static_cast<uintmax_t>(kData + 700'000));
}

TEST_F(RangeExport, VideoWithCompressLeavesTheFileAndATestedArchiveBesideIt) {
    if (std::system("7z i >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "7z is not installed";
    recordSeconds(5);
    TZVFFormat zvf(source);
    zvf.ExportVideoByTime("C:\\Exp\\x.zvf", true, at(0.5), at(3.5));
    expectPacked(exp("x.zvf"), frames, 1, 3);
    const std::string archive = exp("x.zvf.7z");
    ASSERT_TRUE(fs::exists(archive));
    EXPECT_EQ(std::system(("7z t '" + archive + "' >/dev/null 2>&1").c_str()), 0);
    const std::string unpacked = root.file("unpacked");
    ASSERT_EQ(
        std::system(("7z e -y -o'" + unpacked + "' '" + archive + "' >/dev/null 2>&1").c_str()), 0);
    EXPECT_TRUE(zvtest::readFile(unpacked + "/x.zvf") == zvtest::readFile(exp("x.zvf")));
}

TEST_F(RangeExport, VideoWithoutTheArchiverLibraryKeepsTheFinishedFile) {
    recordSeconds(3);
    const char *previous = std::getenv("ZORVIDEO_7Z_LIBRARY");
    const std::string kept = previous ? previous : "";
    ::setenv("ZORVIDEO_7Z_LIBRARY", root.file("nowhere/7z.so").c_str(), 1);
    TZVFFormat zvf(source);
    const std::string error = errorOf([&] { zvf.ExportVideo("C:\\Exp\\y.zvf", 0, 2, true); });
    if (previous)
        ::setenv("ZORVIDEO_7Z_LIBRARY", kept.c_str(), 1);
    else
        ::unsetenv("ZORVIDEO_7Z_LIBRARY");
    EXPECT_EQ(error,
              "Could not load CreateObject function from 7za.dll\r\nPerhaps 7za.dll not found");
    expectPacked(exp("y.zvf"), frames, 0, 2);
    EXPECT_FALSE(fs::exists(exp("y.zvf.7z")));
}

TEST_F(RangeExport, AnArchiveThatCannotBeMadeIsReportedAndTheFinishedFileStays) {
    recordSeconds(3);
    TZVFFormat zvf(source);
    // A link under the archive's name is replaced by the archive, never written through (here
    // to a device that is always full).
    fs::create_symlink("/dev/full", exp("f.zvf.7z"));
    EXPECT_EQ(errorOf([&] { zvf.ExportVideo("C:\\Exp\\f.zvf", 0, 2, true); }), "(no error)");
    expectPacked(exp("f.zvf"), frames, 0, 2);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(exp("f.zvf.7z"))));

    // A folder in the archive's place: the archive file cannot even be created.
    fs::create_directories(exp("g.zvf.7z"));
    EXPECT_EQ(errorOf([&] { zvf.ExportVideoByTime("C:\\Exp\\g.zvf", true, at(-1), at(9)); }),
              "Не удалось создать архив \"C:\\Exp\\g.zvf.7z\": " + zv::systemErrorReason(EISDIR));
    expectPacked(exp("g.zvf"), frames, 0, 2);
    EXPECT_TRUE(fs::is_empty(exp("g.zvf.7z")));
}

TEST_F(RangeExport, ArchiveHoldsTheTargetWhateverItsNameAndNeverWithDotComponents) {
    if (std::system("7z i >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "7z is not installed";
    recordSeconds(3);
    TZVFFormat zvf(source);
    const std::string exported = fs::canonical(exp("")).string().substr(1) + "/";
    struct Case {
        std::string target, native, item;
    };
    const Case cases[] = {
        {"C:\\Exp\\a*b.zvf", "a*b.zvf", "Exp/a*b.zvf"},                 // a star is no folder mask
        {"C:\\Exp\\\xCF\xF0.zvf", "\xCF\xF0.zvf", "Exp/\xCF\xF0.zvf"},  // Windows-1251
        {"../r.zvf", "r.zvf", exported + "r.zvf"},  // relative: as the absolute name
        {"./s.zvf", "sub/s.zvf", exported + "sub/s.zvf"},
    };
    fs::create_directories(exp("sub"));
    const fs::path previous = fs::current_path();
    fs::current_path(exp("sub"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.native);
        zvf.ExportVideo(c.target, 0, 2, true);
        const std::string archive = exp(c.native + ".7z");
        const std::string list = zvtest::runPeer("7z l -slt " + zvtest::shellQuote(archive)).output;
        EXPECT_EQ(zvtest::sltValues(list.substr(list.find("\n----------\n")), "Path"), c.item);
        const std::string out = root.file("out/" + std::to_string(&c - cases));
        ASSERT_EQ(zvtest::runPeer("7z x -o" + zvtest::shellQuote(out) + " " +
                                  zvtest::shellQuote(archive) + " >/dev/null 2>&1")
                      .status,
                  0);
        EXPECT_TRUE(zvtest::readFile(out + "/" + c.item) == zvtest::readFile(exp(c.native)));
    }
    fs::current_path(previous);
}

// Time intervals become index ranges: strict comparisons, searched from both ends.
TEST_F(RangeExport, TimeIntervalsSelectTheFramesStrictlyInside) {
    recordSeconds(12);
    TZVFFormat zvf(source);
    struct Case {
        double start, end;
        size_t first, last;
    };
    const Case cases[] = {
        {at(3), at(9), 4, 8},        // frames on the bounds lie outside
        {at(-5), at(60), 0, 11},     // every frame
        {at(5.25), at(5.75), 5, 6},  // between two frames: both
        {at(8.5), at(3.5), 3, 9},    // reversed: from the last before end to the first after start
        {at(10.5), at(10.7), 10, 11},  // between the last two
        {at(10.5), at(11.5), 11, 11},  // only the last
        {at(-1), at(0.5), 0, 0},       // only the first
    };
    int n = 0;
    for (const Case &c : cases) {
        const std::string name = "t" + std::to_string(n++) + ".zvf";
        zvf.ExportVideoByTime("C:\\Exp\\" + name, false, c.start, c.end);
        expectPacked(exp(name), frames, c.first, c.last);
    }
    EXPECT_EQ(errorOf([&] { zvf.ExportVideoByTime("C:\\Exp\\e.zvf", false, at(11), at(20)); }),
              kBadInterval);
    EXPECT_EQ(errorOf([&] { zvf.ExportVideoByTime("C:\\Exp\\e.zvf", false, at(-9), at(0)); }),
              kBadInterval);
    EXPECT_EQ(errorOf([&] { zvf.ExportPicturesByTime("C:\\Exp\\e", at(11), at(20)); }),
              kBadInterval);
    EXPECT_FALSE(fs::exists(exp("e.zvf")));
    EXPECT_FALSE(fs::exists(exp("e")));

    fs::remove(sourceNative);
    TZVFFormat empty(source);
    EXPECT_EQ(errorOf([&] { empty.ExportVideoByTime("C:\\Exp\\e.zvf", false, at(-9), at(99)); }),
              kBadInterval);
}

TEST_F(RangeExport, TimeSearchFindsMatchesAcrossIndexBlocks) {
    // Enough frames that both searches cross several blocks of entries.
    const std::vector<uint8_t> gif = zvtest::smallGif(1);
    {
        ZVFAppender out(source);
        for (int i = 0; i < 40'000; ++i)
            out.append(gif.data(), gif.size(), at(i));
    }
    TZVFFormat zvf(source);
    for (const auto &[start, end, first, last] : std::vector<std::tuple<double, double, int, int>>{
             {at(20'000.5), at(20'001.5), 20'001, 20'001},
             {at(511), at(39'488), 512, 39'487},
             {at(2'559), at(37'440), 2'560, 37'439},
             {at(39'998), at(40'000), 39'999, 39'999},
             {at(-1), at(0.1), 0, 0}}) {
        zvf.ExportVideoByTime("C:\\Exp\\big.zvf", false, start, end);
        TZVFFormat target("C:\\Exp\\big.zvf");
        ASSERT_EQ(target.FrameCount(), last - first + 1) << first;
        TZVFFrameEntry e0, e1;
        target.ReadFrameEntry(0, e0);
        target.ReadFrameEntry(last - first, e1);
        EXPECT_EQ(e0.DateTime, at(first));
        EXPECT_EQ(e1.DateTime, at(last));
    }
}

TEST_F(RangeExport, PicturesAreNamedByTimeAndFramesOfOneSecondAreAllKept) {
    const double lastSecond = zv::encodeDateTime({2010, 12, 31, 23, 59, 58, 0});
    record({lastSecond, lastSecond + 0.3 * kSecond, lastSecond + 0.6 * kSecond,
            lastSecond + 1 * kSecond, lastSecond + 2 * kSecond, lastSecond + 2.5 * kSecond});
    TZVFFormat zvf(source);
    zvf.ExportPictures("C:\\Exp\\pics\\deep", 0, 5);
    const std::vector<std::string> names = {"101231 235958.GIF",   "101231 235958_2.GIF",
                                            "101231 235958_3.GIF", "101231 235959.GIF",
                                            "110101 000000.GIF",   "110101 000000_2.GIF"};
    std::set<std::string> written;
    for (const auto &entry : fs::directory_iterator(exp("pics/deep")))
        written.insert(entry.path().filename().string());
    EXPECT_EQ(written, std::set<std::string>(names.begin(), names.end()));
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string bytes = zvtest::readFile(exp("pics/deep/" + names[i]));
        zv::GifImage picture, frame;
        picture.loadFromBytes(bytes.data(), bytes.size());
        frame.loadFromBytes(frames[i].gif.data(), frames[i].gif.size());
        ASSERT_EQ(picture.width() * picture.height(), frame.width() * frame.height());
        EXPECT_EQ(std::memcmp(picture.pixels(), frame.pixels(), 6 * 4 * 4), 0) << names[i];
        // Plain one-picture frames are written as stored, not encoded again.
        EXPECT_EQ(bytes, std::string(frames[i].gif.begin(), frames[i].gif.end())) << names[i];
    }

    // Bounds in either order write the same pictures; a new export numbers its own seconds anew.
    fs::remove_all(exp("pics"));
    zvf.ExportPictures("C:\\Exp\\pics", 4, 1);
    written.clear();
    for (const auto &entry : fs::directory_iterator(exp("pics")))
        written.insert(entry.path().filename().string());
    EXPECT_EQ(written, (std::set<std::string>{"101231 235958.GIF", "101231 235958_2.GIF",
                                              "101231 235959.GIF", "110101 000000.GIF"}));
}

TEST_F(RangeExport, PicturesSkipUndecodableFramesAndReportThemOnceAtTheEnd) {
    recordSeconds(5);
    {
        zvtest::RawZvf raw(sourceNative);
        raw.put(kData + 0, "not a gif", 9);  // frame 0
    }
    std::vector<std::string> shown;
    zv::ScopedMessageHandler recorder(
        [&](const std::string &text, zv::MessageKind) { shown.push_back(text); });
    TZVFFormat zvf(source);
    const std::string error = errorOf([&] { zvf.ExportPictures("C:\\Exp\\p", 4, 0); });
    EXPECT_NE(error.find("1 из 5"), std::string::npos) << error;
    EXPECT_NE(error.find("кадр 0"), std::string::npos) << error;
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(fs::exists(exp("p/101231 120000.GIF")));
    for (int s = 1; s < 5; ++s)
        EXPECT_TRUE(fs::exists(exp("p/101231 12000" + std::to_string(s) + ".GIF"))) << s;
}

TEST_F(RangeExport, PicturesFolderFirstThenBounds) {
    recordSeconds(3);
    TZVFFormat zvf(source);
    // A folder that cannot be made: nothing is written and nothing raised, whatever the bounds.
    zvtest::writeFile(exp("file"), "x");
    EXPECT_NO_THROW(zvf.ExportPictures("C:\\Exp\\file\\sub", 0, 99));
    EXPECT_NO_THROW(zvf.ExportPictures("C:\\Exp\\file", 0, 2));
    // Bad bounds are refused after the folder is made; the folder stays, empty.
    EXPECT_EQ(errorOf([&] { zvf.ExportPictures("C:\\Exp\\made", 0, 3); }), kBadBounds);
    ASSERT_TRUE(fs::is_directory(exp("made")));
    EXPECT_TRUE(fs::is_empty(exp("made")));
}

TEST_F(RangeExport, PicturesOnAFullDiskKeepNoCutPictureAndSayWhy) {
    recordSeconds(3);
    fs::create_directories(exp("p"));
    // Room for the first 20 bytes of a picture only.
    const std::string message = errorWithFileSizeLimit(20, [&] {
        TZVFFormat zvf(source);
        zvf.ExportPictures("C:\\Exp\\p", 0, 2);
    });
    EXPECT_EQ(message, "Не удается записать файл \"" + exp("p/101231 120000.GIF") +
                           "\": " + zv::systemErrorReason(EFBIG));
    EXPECT_TRUE(fs::is_empty(exp("p")));
}

// A recording of count frames of frameSize bytes each, back to back; the bytes are random when
// asked for (a 7z step then has work to report), otherwise a hole of the sparse file.
void recordLargeFrames(const std::string &native, int32_t count, int32_t frameSize,
                       bool randomBytes) {
    zvtest::RawZvf raw(native);
    for (int32_t i = 0; i < count; ++i)
        raw.putEntry(i, int64_t{i} * frameSize, frameSize, at(i));
    const int64_t end = kData + int64_t{count} * frameSize;
    if (randomBytes) {
        std::vector<uint8_t> bytes(static_cast<size_t>(count) * frameSize);
        uint32_t seed = 12345;
        for (uint8_t &b : bytes)
            b = static_cast<uint8_t>((seed = seed * 1'103'515'245u + 12'345u) >> 24);
        raw.put(kData, bytes.data(), bytes.size());
    } else {
        raw.truncate(end);
    }
    raw.putCount(count);
}

TEST_F(RangeExport, CancelledVideoCountsTheFramesInPlaceAndMakesNoArchive) {
    // 20 frames of 1 MB: the copy goes in pieces of 8 whole frames (at most 8 MiB each).
    recordLargeFrames(sourceNative, 20, 1'000'000, false);
    TZVFFormat zvf(source);
    std::vector<std::pair<int64_t, int64_t>> reports;
    zvf.OnExportFrames = [&](int64_t done, int64_t total) {
        reports.emplace_back(done, total);
        if (done > 0)
            zvf.CancelExport = true;
    };
    zvf.ExportVideo("C:\\Exp\\c.zvf", 0, 19, true);
    using Reports = std::vector<std::pair<int64_t, int64_t>>;
    EXPECT_EQ(reports, (Reports{{0, 20}, {8, 20}}));
    EXPECT_EQ(countOf(exp("c.zvf")), 8);
    EXPECT_EQ(zvf::checkFile("C:\\Exp\\c.zvf").problems, 0);
    EXPECT_FALSE(fs::exists(exp("c.zvf.7z")));

    // Not cancelled, the frames are reported piece by piece up to the whole range.
    zvf.CancelExport = false;
    reports.clear();
    zvf.OnExportFrames = [&](int64_t done, int64_t total) { reports.emplace_back(done, total); };
    zvf.ExportVideo("C:\\Exp\\c.zvf", 19, 0, false);
    EXPECT_EQ(reports, (Reports{{0, 20}, {8, 20}, {16, 20}, {20, 20}}));
    EXPECT_EQ(countOf(exp("c.zvf")), 20);
}

TEST_F(RangeExport, CancelledArchiveIsRemovedAndTheFinishedFileStays) {
    if (std::system("7z i >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "7z is not installed";
    recordLargeFrames(sourceNative, 4, 1'000'000, true);
    TZVFFormat zvf(source);
    std::vector<int64_t> packed;
    int64_t archiveTotal = -1;
    zvf.OnArchiveProgress = [&](int64_t done, int64_t total) {
        packed.push_back(done);
        archiveTotal = total;
        zvf.CancelExport = true;
    };
    zvf.ExportVideo("C:\\Exp\\a.zvf", 0, 3, true);
    EXPECT_GE(packed.size(), 2u);  // the start, then the report at which the build stopped
    EXPECT_EQ(archiveTotal, static_cast<int64_t>(fs::file_size(exp("a.zvf"))));
    EXPECT_FALSE(fs::exists(exp("a.zvf.7z")));
    EXPECT_EQ(countOf(exp("a.zvf")), 4);
    EXPECT_EQ(zvf::checkFile("C:\\Exp\\a.zvf").problems, 0);
}

TEST_F(RangeExport, CancelledPicturesKeepThoseSaved) {
    recordSeconds(5);
    TZVFFormat zvf(source);
    zvf.OnExportFrames = [&](int64_t done, int64_t) {
        if (done == 2)
            zvf.CancelExport = true;
    };
    EXPECT_NO_THROW(zvf.ExportPictures("C:\\Exp\\p", 0, 4));
    std::set<std::string> written;
    for (const auto &entry : fs::directory_iterator(exp("p")))
        written.insert(entry.path().filename().string());
    EXPECT_EQ(written, (std::set<std::string>{"101231 120000.GIF", "101231 120001.GIF"}));
}

TEST(RangeExportDurability, TheCountIsWrittenBetweenTwoSyncsAndAFailedSyncLeavesItZero) {
    zvtest::MemoryFileSystem files;
    {
        ZVFAppender writer("rec.zvf", files);
        for (int i = 0; i < 3; ++i) {
            const std::vector<uint8_t> gif = zvtest::smallGif(i);
            writer.append(gif.data(), gif.size(), at(i));
        }
    }
    TZVFFormat zvf("rec.zvf", files);
    zvf.ExportVideo("out.zvf", 0, 2, false);
    const std::vector<std::string> &journal = files.journal("out.zvf");
    ASSERT_GE(journal.size(), 4u);
    // A count of 0, sync, the file cut behind it, entries, frames, sync, the count, sync.
    EXPECT_EQ(std::vector<std::string>(journal.begin(), journal.begin() + 3),
              (std::vector<std::string>{"w 0 4", "s", "t 4"}));
    EXPECT_EQ(std::vector<std::string>(journal.end() - 3, journal.end()),
              (std::vector<std::string>{"s", "w 0 4", "s"}));
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "s"), 3);

    // The disk fails when the frames are to be made durable: the count stays 0.
    files.remove("out.zvf");
    zvf.OnExportProgress = [&](int64_t done, int64_t total) {
        if (done == total)
            files.failNextWrite("Ошибка записи в файл: Input/output error");
    };
    EXPECT_EQ(errorOf([&] { zvf.ExportVideo("out.zvf", 0, 2, false); }),
              "Ошибка записи в файл: Input/output error");
    EXPECT_EQ(files.contents("out.zvf").substr(0, 4), std::string(4, '\0'));
}
