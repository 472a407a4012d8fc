// The text index and its indexer over recordings whose text a fake reader reads exactly.
#include "container/TextIndex.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "container/Sqlite.h"
#include "container/TextIndexer.h"
#include "container/ZVFAppender.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "support/PixelText.h"
#include "support/TempRoot.h"
#include "support/WaitFor.h"

namespace {

using zvtest::PixelTextReader;
using zvtest::TextPicture;

// The operator's screen at frame i of the test recording: a label that stays, a clock that
// changes every third frame, a receipt dialog on frames 5 .. 8 and a caret beside the label on
// frame 10.
TextPicture screenAt(int i) {
    TextPicture p(200, 180);
    p.text(10, 5, "Касса 1");
    p.text(10, 150, "10:00:0" + std::to_string(i / 3));
    if (i >= 5 && i <= 8) {
        p.fill(35, 50, 150, 80, 0xE0E0E0);
        p.text(40, 55, "Чек № 10342");
        p.text(40, 80, "Сумма 2 486,00");
        p.text(40, 105, "Кассир Ёлкина Анна");
    }
    if (i == 10)
        p.fill(19, 8, 1, 10, 0x808080);
    return p;
}

struct Row {
    int32_t first, left;
    std::string line;
    friend bool operator==(const Row &, const Row &) = default;
};

std::ostream &operator<<(std::ostream &os, const Row &r) {
    return os << r.first << "-" << r.left << " " << r.line;
}

class TextIndexTest : public ::testing::Test {
protected:
    zvtest::TempRoot root;
    std::string recording = root.file("rec.zvf");
    std::atomic<int> calls{0};
    std::vector<std::string> warnings;

    void append(int from, int to, int repeat = 1) {
        ZVFAppender out(recording);
        for (int i = from; i < to; ++i) {
            const std::vector<uint8_t> gif = screenAt(i).gif();
            for (int k = 0; k < repeat; ++k)
                out.append(gif.data(), gif.size(), 45'000.0 + out.frameCount() / 86'400.0);
        }
    }
    zv::TextIndexerOptions options(int threads = 2) {
        zv::TextIndexerOptions o;
        o.threads = threads;
        o.lowPriority = false;
        o.commitMs = 0;
        o.pollMs = 20;
        return o;
    }
    zv::TextIndexProgress index(const zv::TextIndexerOptions &o,
                                const std::atomic<bool> &cancel = std::atomic<bool>{false}) {
        zv::TextIndexer indexer(
            recording, [this] { return std::make_unique<PixelTextReader>(&calls); }, o);
        indexer.setWarning([this](const std::string &w) { warnings.push_back(w); });
        return indexer.run(cancel);
    }
    std::vector<Row> find(const std::string &query) {
        auto file = zv::localFileSystem().open(recording, zv::FileSystem::OpenMode::Read);
        zv::TextIndex ix(recording, *file);
        std::vector<Row> rows;
        for (const zv::TextHit &h : ix.search(query))
            rows.push_back({h.firstFrame, h.leftFrame, h.line});
        return rows;
    }
    zv::TextIndexCoverage coverage() {
        auto file = zv::localFileSystem().open(recording, zv::FileSystem::OpenMode::Read);
        return zv::TextIndex(recording, *file).coverage();
    }
    // Every line of the index with its frames and box, in order.
    std::vector<std::string> dump() {
        auto file = zv::localFileSystem().open(recording, zv::FileSystem::OpenMode::Read);
        zv::TextIndex ix(recording, *file);
        std::vector<std::string> out;
        for (int32_t frame = 0; frame < ix.coverage().indexedFrames; ++frame)
            for (const zv::TextHit &h : ix.linesAt(frame))
                out.push_back(std::to_string(h.firstFrame) + " " + std::to_string(h.leftFrame) +
                              " " + std::to_string(h.box.x) + "," + std::to_string(h.box.y) + " " +
                              h.line);
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
        return out;
    }
};

}  // namespace

TEST(TextSearchForm, FoldsCaseAndYoAndJoinsDigitGroups) {
    EXPECT_EQ(zv::searchForm("  Ёлкина\tАННА  "), "елкина анна");
    EXPECT_EQ(zv::searchForm("TOTAL Итого"), "total итого");
    EXPECT_EQ(zv::searchForm("2 486,00"), "2486.00");
    EXPECT_EQ(zv::searchForm("a,b 1, 2 3,x"), "a,b 1, 2 3,x");  // only a comma between digits
    EXPECT_EQ(zv::searchForm("1\u00a0234\u202f567.89 руб"), "1234567.89 руб");
    // Not groups: two digits after the blank, four digits, a pump number before an amount.
    EXPECT_EQ(zv::searchForm("ТРК 3 45.20"), "трк 3 45.20");
    EXPECT_EQ(zv::searchForm("10 2000"), "10 2000");
    EXPECT_EQ(zv::searchForm("\xff\xfe x"), "\xff\xfe x");  // not UTF-8: kept
    EXPECT_EQ(zv::searchWords("Сумма  2 486,00 "), (std::vector<std::string>{"сумма", "2486.00"}));
    EXPECT_TRUE(zv::searchWords("   ").empty());
}

TEST_F(TextIndexTest, FindsTheDialogAtItsFrameAndWhenItLeft) {
    append(0, 12);
    const zv::TextIndexProgress p = index(options());
    EXPECT_EQ(p.indexedFrames, 12);
    EXPECT_EQ(p.heldFrames, 12);
    EXPECT_EQ(p.changeStarts, 7);  // 0 3 5 6 9 10 11 (the caret comes and goes)
    EXPECT_EQ(coverage().state, zv::TextIndexState::Complete);

    const Row receipt{5, 9, "Чек № 10342"};
    EXPECT_EQ(find("10342"), std::vector<Row>{receipt});
    EXPECT_EQ(find("чек 1034"), std::vector<Row>{receipt});
    const Row amount{5, 9, "Сумма 2 486,00"};
    EXPECT_EQ(find("2486,00"), std::vector<Row>{amount});
    EXPECT_EQ(find("2486.00"), std::vector<Row>{amount});  // the decimal sign either way
    EXPECT_EQ(find("2 486,00"), std::vector<Row>{amount});
    EXPECT_EQ(find("сумма 486"), std::vector<Row>{amount});
    EXPECT_EQ(find("ЕЛКИНА анна"), (std::vector<Row>{{5, 9, "Кассир Ёлкина Анна"}}));
    // The label never left; the caret beside it read it again without making a new line.
    EXPECT_EQ(find("касса"), (std::vector<Row>{{0, -1, "Касса 1"}}));
    EXPECT_EQ(
        find("10:00"),
        (std::vector<Row>{
            {0, 3, "10:00:00"}, {3, 6, "10:00:01"}, {6, 9, "10:00:02"}, {9, -1, "10:00:03"}}));
    EXPECT_TRUE(find("10342 анна").empty());  // every word must stand in the one line
    EXPECT_TRUE(find("   ").empty());
    EXPECT_TRUE(warnings.empty());
}

TEST_F(TextIndexTest, FramesEqualToTheOneBeforeAreNeverRead) {
    // One reading thread, so that what is read before what (and found read) is always the same.
    append(0, 12);
    index(options(1));
    const int once = calls.exchange(0);
    EXPECT_GT(once, 0);
    // Indexed again: nothing new, nothing read.
    index(options(1));
    EXPECT_EQ(calls.load(), 0);
    // The same screens, each held for five frames: the same reads.
    std::filesystem::remove(recording);
    std::filesystem::remove(recording + ".text");
    append(0, 12, 5);
    index(options(1));
    EXPECT_EQ(calls.load(), once);
    EXPECT_EQ(find("10342"), (std::vector<Row>{{25, 45, "Чек № 10342"}}));
}

TEST_F(TextIndexTest, AScrollingJournalIsReadARowAtATimeAndEachReceiptIsOnePlace) {
    // Frame i shows receipts i - 4 .. i, the newest at the bottom: each frame the journal scrolls
    // up by a row and one new receipt comes in.
    {
        ZVFAppender out(recording);
        for (int i = 0; i < 10; ++i) {
            TextPicture p(200, 110);
            for (int r = std::max(i - 4, 0); r <= i; ++r)
                p.text(10, 5 + 20 * (4 - (i - r)), "Чек № 1000" + std::to_string(r));
            const std::vector<uint8_t> gif = p.gif();
            out.append(gif.data(), gif.size(), 45'000.0 + i / 86'400.0);
        }
    }
    // One reading thread: two threads may both read a row that neither has read yet.
    index(options(1));
    // Rows read before, wherever they stand now, are not read again: one read a frame.
    EXPECT_EQ(calls.load(), 10);
    for (int r = 0; r < 10; ++r) {
        const std::string text = "Чек № 1000" + std::to_string(r);
        EXPECT_EQ(find("1000" + std::to_string(r)),
                  (std::vector<Row>{{r, r < 5 ? r + 5 : -1, text}}));
    }
    // The box is where the receipt stood first: the bottom row.
    auto file = zv::localFileSystem().open(recording, zv::FileSystem::OpenMode::Read);
    EXPECT_EQ(zv::TextIndex(recording, *file).search("10003").at(0).box,
              (zv::TextBox{10, 85, 22, 17}));
}

TEST_F(TextIndexTest, ALongLineChangedAtOneEndIsReadAgainWhole) {
    // A total line of 760 pixels whose amount changes at frame 3: the changed region takes in the
    // words near the amount, not the whole line.
    const std::string dots(360, '.');
    {
        ZVFAppender out(recording);
        for (int i = 0; i < 5; ++i) {
            TextPicture p(800, 40);
            p.text(10, 5, "Итого" + dots + (i < 3 ? "1 234,00" : "2 486,00"));
            const std::vector<uint8_t> gif = p.gif();
            out.append(gif.data(), gif.size(), 45'000.0 + i / 86'400.0);
        }
    }
    index(options(1));
    EXPECT_EQ(find("итого 1234,00"), (std::vector<Row>{{0, 3, "Итого" + dots + "1 234,00"}}));
    EXPECT_EQ(find("итого 2486,00"), (std::vector<Row>{{3, -1, "Итого" + dots + "2 486,00"}}));
    EXPECT_EQ(find("2486").size(), 1u);  // and no part of it stored besides
}

TEST_F(TextIndexTest, ACancelledRunResumedGivesTheSameIndex) {
    append(0, 12);
    index(options());
    const std::vector<std::string> whole = dump();
    ASSERT_FALSE(whole.empty());
    std::filesystem::remove(recording + ".text");
    // Stopped after each commit in turn, then resumed: one frame more each time.
    for (int run = 0; run < 20 && coverage().state != zv::TextIndexState::Complete; ++run) {
        std::atomic<bool> cancel{false};
        zv::TextIndexer indexer(
            recording, [] { return std::make_unique<PixelTextReader>(); }, options(1));
        indexer.setProgress([&](const zv::TextIndexProgress &) { cancel = true; });
        indexer.run(cancel);
    }
    EXPECT_EQ(coverage().state, zv::TextIndexState::Complete);
    EXPECT_EQ(dump(), whole);
}

TEST_F(TextIndexTest, AKilledIndexerLosesOnlyWhatItHadNotCommitted) {
    append(0, 12);
    index(options());
    const std::vector<std::string> whole = dump();
    std::filesystem::remove(recording + ".text");
    std::filesystem::remove(recording + ".text-wal");
    std::filesystem::remove(recording + ".text-shm");
    for (int killAt : {2, 4, 3}) {
        const pid_t child = ::fork();
        if (child == 0) {
            // The reader kills its process on its killAt-th read, in the middle of a transaction.
            struct Killing : zv::TextReader {
                std::atomic<int> *n;
                int at;
                PixelTextReader inner;
                std::vector<zv::TextLine> read(const zv::FramePixels &f,
                                               const zv::TextBox &r) override {
                    if (++*n == at)
                        ::kill(::getpid(), SIGKILL);
                    return inner.read(f, r);
                }
            };
            std::atomic<int> n{0};
            zv::TextIndexerOptions o = options(1);
            o.commitMs = 1'000'000;  // only the end commits: the kill loses the whole run
            if (killAt == 4)
                o.commitMs = 0;
            zv::TextIndexer indexer(
                recording,
                [&] {
                    auto r = std::make_unique<Killing>();
                    r->n = &n;
                    r->at = killAt;
                    return r;
                },
                o);
            std::atomic<bool> cancel{false};
            indexer.run(cancel);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status)) << killAt;
        EXPECT_NE(coverage().state, zv::TextIndexState::Unusable) << coverage().problem;
    }
    index(options());
    EXPECT_EQ(dump(), whole);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(TextIndexTest, ADamagedOrForeignIndexIsSetAsideAndRebuilt) {
    append(0, 12);
    const std::string path = recording + ".text";
    zvtest::writeFile(path, std::string(5000, 'x'));
    EXPECT_EQ(coverage().state, zv::TextIndexState::Unusable);
    EXPECT_TRUE(find("10342").empty());
    index(options());
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("поврежден"), std::string::npos) << warnings[0];
    EXPECT_EQ(find("10342"), (std::vector<Row>{{5, 9, "Чек № 10342"}}));
    // The damaged file lies beside it, as it was.
    std::string aside;
    for (const std::string &name : zvtest::namesIn(root.path()))
        if (name.find("_damaged") != std::string::npos)
            aside = name;
    ASSERT_FALSE(aside.empty());
    EXPECT_EQ(zvtest::readFile(root.file(aside)), std::string(5000, 'x'));

    // An SQLite database of someone else's.
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");
    zv::SqliteDb(path, zv::SqliteDb::Mode::ReadWriteCreate)
        .exec("CREATE TABLE t(a); INSERT INTO t VALUES(1);");
    EXPECT_EQ(coverage().state, zv::TextIndexState::Unusable);
    warnings.clear();
    index(options());
    EXPECT_EQ(warnings.size(), 1u);
    EXPECT_EQ(find("2486"), (std::vector<Row>{{5, 9, "Сумма 2 486,00"}}));
}

TEST_F(TextIndexTest, AnIndexOfAnotherRecordingIsNotUsed) {
    append(0, 12);
    index(options());
    // Another recording under the same name: the screens from frame 3 on.
    std::filesystem::remove(recording);
    append(3, 12);
    const zv::TextIndexCoverage c = coverage();
    EXPECT_EQ(c.state, zv::TextIndexState::Unusable);
    EXPECT_NE(c.problem.find("другой записи"), std::string::npos) << c.problem;
    EXPECT_TRUE(find("10342").empty());
    index(options());
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(find("10342"), (std::vector<Row>{{2, 6, "Чек № 10342"}}));

    // The recording cut below what was indexed (count lowered): not used either.
    zv::UniqueFd fd = zv::openFile(recording, O_RDWR);
    const int32_t four = 4;
    zv::writeAt(fd.get(), &four, sizeof four, 0);
    EXPECT_EQ(coverage().state, zv::TextIndexState::Unusable);
}

TEST_F(TextIndexTest, FollowsAGrowingRecording) {
    append(0, 4);
    std::atomic<bool> cancel{false};
    zv::TextIndexProgress last;
    std::thread follower([&] {
        zv::TextIndexerOptions o = options();
        o.follow = true;
        last = index(o, cancel);
    });
    ASSERT_TRUE(zvtest::waitFor([&] { return coverage().indexedFrames == 4; }, 20'000));
    EXPECT_TRUE(find("10342").empty());
    append(4, 12);
    EXPECT_TRUE(zvtest::waitFor([&] { return coverage().indexedFrames == 12; }, 20'000));
    EXPECT_EQ(find("10342"), (std::vector<Row>{{5, 9, "Чек № 10342"}}));
    // The recording renamed and another begun under its name, as the recorder rotates a full
    // one: the index goes with the renamed recording and a new one is begun.
    const std::string other = root.file("rec_20230303_120000.zvf");
    std::filesystem::rename(recording, other);
    append(5, 9);
    EXPECT_TRUE(zvtest::waitFor(
        [&] {
            return coverage().state == zv::TextIndexState::Complete &&
                   find("10342") == std::vector<Row>{{0, -1, "Чек № 10342"}};
        },
        20'000));
    cancel = true;
    follower.join();
    EXPECT_EQ(last.indexedFrames, 4);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("переименована"), std::string::npos) << warnings[0];
    auto renamed = zv::localFileSystem().open(other, zv::FileSystem::OpenMode::Read);
    zv::TextIndex moved(other, *renamed);
    EXPECT_EQ(moved.coverage().state, zv::TextIndexState::Complete);
    ASSERT_EQ(moved.search("10342").size(), 1u);
    EXPECT_EQ(moved.search("10342")[0].firstFrame, 5);

    // Cut below what was indexed (the count lowered): the index is set aside and begun anew.
    {
        zv::UniqueFd fd = zv::openFile(recording, O_RDWR);
        const int32_t two = 2;
        zv::writeAt(fd.get(), &two, sizeof two, 0);
    }
    cancel = false;
    warnings.clear();
    std::thread again([&] {
        zv::TextIndexerOptions o = options();
        o.follow = true;
        last = index(o, cancel);
    });
    EXPECT_TRUE(
        zvtest::waitFor([&] { return coverage().state == zv::TextIndexState::Complete; }, 20'000));
    cancel = true;
    again.join();
    EXPECT_EQ(last.indexedFrames, 2);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("другой записи"), std::string::npos) << warnings[0];
}

// A viewer learns whether someone writes the index by taking its lock for an instant: an indexer
// that starts in that instant waits for it rather than failing.
TEST_F(TextIndexTest, AWriterWaitsForALockHeldForAMoment) {
    append(0, 12);
    auto file = zv::localFileSystem().open(recording, zv::FileSystem::OpenMode::Read);
    { zv::TextIndexWriter made(recording, *file); }
    auto probe = zv::localFileSystem().open(zv::textIndexPath(recording),
                                            zv::FileSystem::OpenMode::Read);
    ASSERT_TRUE(probe->tryLock());
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        probe.reset();
    });
    try {
        zv::TextIndexWriter writer(recording, *file);
    } catch (const zv::Error &e) {
        ADD_FAILURE() << e.what();
    }
    release.join();
}

TEST_F(TextIndexTest, ASecondWriterIsRefusedWhileTheFirstHoldsTheIndex) {
    append(0, 12);
    auto file = zv::localFileSystem().open(recording, zv::FileSystem::OpenMode::Read);
    zv::TextIndexWriter first(recording, *file);
    try {
        zv::TextIndexWriter second(recording, *file);
        FAIL() << "a second writer opened the index";
    } catch (const zv::Error &e) {
        EXPECT_NE(std::string(e.what()).find("другим процессом"), std::string::npos) << e.what();
    }
}
