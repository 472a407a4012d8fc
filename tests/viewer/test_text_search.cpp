// The viewer's text search without a window: searching the index on its thread, the index kept up
// in the background (following the recording), an index written by another process watched, no
// engine, and closing while indexing.
#include "viewer/TextSearch.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <thread>

#include "container/TextIndexer.h"
#include "platform/DateTimeText.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "support/PixelText.h"
#include "support/TempRoot.h"
#include "viewer/TextRecordings.h"

namespace {

using Mode = zv::TextIndexStatus::Mode;

// A reader of pixel text that takes its time over each region.
class SlowReader : public zvtest::PixelTextReader {
public:
    explicit SlowReader(int ms) : ms_(ms) {}
    std::vector<zv::TextLine> read(const zv::FramePixels &frame,
                                   const zv::TextBox &region) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms_));
        return PixelTextReader::read(frame, region);
    }

private:
    int ms_;
};

class TextSearchTest : public ::testing::Test {
protected:
    TextSearchTest() {
        zv::TextIndexerOptions o;
        o.threads = 1;
        o.lowPriority = false;  // the machine's load must not starve the test
        o.commitMs = 0;
        o.pollMs = 20;
        search.setIndexerOptions(o);
        search.setWatchIntervalMs(20);
        search.setReaderFactory(
            [this] { return std::make_unique<zvtest::PixelTextReader>(&calls); });
    }
    bool waitForStatus(const std::function<bool(const zv::TextIndexStatus &)> &done,
                       int timeoutMs = 20000) {
        return QTest::qWaitFor([&] { return done(search.status()); }, timeoutMs);
    }
    static bool indexedAll(const zv::TextIndexStatus &s, int frames) {
        return s.coverage.state == zv::TextIndexState::Complete &&
               s.coverage.indexedFrames == frames && s.coverage.heldFrames == frames;
    }
    std::vector<zv::TextHitRow> find(const QString &query) {
        QSignalSpy finished(&search, &zv::TextSearch::searchFinished);
        EXPECT_TRUE(search.search(query));
        EXPECT_TRUE(finished.wait(10000));
        EXPECT_FALSE(search.searching());
        return search.hits();
    }
    // Indexes the recording here, as another program would have.
    void indexBeforehand() {
        zv::TextIndexer indexer(
            file, [] { return std::make_unique<zvtest::PixelTextReader>(); },
            zv::TextIndexerOptions{1, false, false, 20, 0});
        indexer.run(std::atomic<bool>{false});
    }

    ~TextSearchTest() override {
        search.close();
        zv::TextSearch::waitForRetiredRuns();  // before the folder goes
    }

    zvtest::TempRoot root;
    const std::string file = root.file("rec.zvf");
    std::atomic<int> calls{0};
    zv::TextSearch search;
};

}  // namespace

TEST(TextSearchText, StatusLinesAndHitRows) {
    zv::TextIndexStatus s;
    EXPECT_EQ(zv::textIndexStatusText(s), QString());
    s.mode = Mode::Indexing;
    s.coverage = {zv::TextIndexState::Partial, 1234, 5000, {}};
    EXPECT_EQ(zv::textIndexStatusText(s), QStringLiteral("Проиндексировано 1234 из 5000 кадров"));
    s.coverage = {zv::TextIndexState::Partial, 0, 21, {}};
    EXPECT_EQ(zv::textIndexStatusText(s), QStringLiteral("Проиндексировано 0 из 21 кадра"));
    s.coverage = {zv::TextIndexState::Complete, 11, 11, {}};
    EXPECT_EQ(zv::textIndexStatusText(s), QStringLiteral("Проиндексировано 11 из 11 кадров"));
    s.mode = Mode::Elsewhere;
    EXPECT_EQ(zv::textIndexStatusText(s),
              QStringLiteral("Индекс строит другая программа. Проиндексировано 11 из 11 кадров"));
    s.mode = Mode::CannotRead;
    s.reason = QStringLiteral("нет языка rus");
    s.coverage = {zv::TextIndexState::Missing, 0, 7, {}};
    EXPECT_EQ(zv::textIndexStatusText(s),
              QStringLiteral("Индекса текста нет; индексировать нельзя: нет языка rus"));

    EXPECT_EQ(zv::textSearchResultText(0, false, {}), QStringLiteral("Ничего не найдено"));
    EXPECT_EQ(zv::textSearchResultText(3, false, {}), QStringLiteral("Найдено: 3"));
    EXPECT_EQ(zv::textSearchResultText(1000, true, {}),
              QStringLiteral("Найдено: 1000 (показаны первые 1000)"));
    EXPECT_EQ(zv::textSearchResultText(0, false, QStringLiteral("сбой")),
              QStringLiteral("Поиск не удался: сбой"));

    zv::TextHitRow row;
    row.hit.firstFrame = 6;
    row.hit.line = " Чек  № 10342 ";
    EXPECT_EQ(zv::textHitTime(row), QStringLiteral("кадр 7"));  // beyond a recording that shrank
    row.timed = true;
    row.dateTime = zvtest::textFrameTime(6);
    EXPECT_EQ(zv::textHitTime(row), zv::dateTimeText(zvtest::textFrameTime(6)));
    EXPECT_EQ(zv::textHitLine(row), QStringLiteral("Чек № 10342"));
}

TEST_F(TextSearchTest, IndexesInTheBackgroundFollowingTheRecordingAndFinds) {
    zvtest::appendTextFrames(file, 0, 12);
    search.open(file);
    ASSERT_TRUE(waitForStatus([](const auto &s) { return indexedAll(s, 12); }));
    EXPECT_EQ(search.status().mode, Mode::Indexing);

    const std::vector<zv::TextHitRow> hits = find(QStringLiteral("чек 10342"));
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].hit.firstFrame, zvtest::kReceiptFirst);
    EXPECT_EQ(hits[0].hit.leftFrame, zvtest::kReceiptLast + 1);
    EXPECT_EQ(hits[0].hit.box.x, zvtest::kReceiptX);
    EXPECT_EQ(hits[0].hit.box.y, zvtest::kReceiptY);
    EXPECT_EQ(zv::textHitTime(hits[0]), zv::dateTimeText(zvtest::textFrameTime(5)));
    EXPECT_EQ(zv::textHitLine(hits[0]), QStringLiteral("Чек № 10342"));
    EXPECT_EQ(find(QStringLiteral("2486,00")).size(), 1u);
    EXPECT_TRUE(find(QStringLiteral("Строка 21")).empty());
    EXPECT_TRUE(search.searchFailure().isEmpty());
    EXPECT_FALSE(search.search(QStringLiteral("   ")));  // nothing to look for

    // The recording grows while it is open: the index follows it.
    zvtest::appendTextFrames(file, 12, 12);
    ASSERT_TRUE(waitForStatus([](const auto &s) { return indexedAll(s, 24); }));
    const std::vector<zv::TextHitRow> later = find(QStringLiteral("Строка 21"));
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].hit.firstFrame, 21);
}

TEST_F(TextSearchTest, WithoutAnEngineSearchesTheIndexThatExistsAndSaysWhy) {
    zvtest::appendTextFrames(file, 0, 12);
    indexBeforehand();
    zvtest::appendTextFrames(file, 12, 3);
    search.setReaderFactory(
        []() -> std::unique_ptr<zv::TextReader> { throw zv::Error("нет данных языка rus"); });
    search.open(file);
    ASSERT_TRUE(waitForStatus([](const auto &s) { return s.mode == Mode::CannotRead; }));
    EXPECT_EQ(zv::textIndexStatusText(search.status()),
              QStringLiteral("Проиндексировано 12 из 15 кадров; индексировать нельзя: нет данных "
                             "языка rus"));
    const std::vector<zv::TextHitRow> hits = find(QStringLiteral("Ёлкина"));
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].hit.firstFrame, zvtest::kReceiptFirst);
}

TEST_F(TextSearchTest, AnIndexWrittenElsewhereIsWatchedAndTakenOverWhenLetGo) {
    zvtest::appendTextFrames(file, 0, 12);
    auto other = std::make_unique<zv::TextIndexWriter>(
        file, *zv::localFileSystem().open(file, zv::FileSystem::OpenMode::Read));
    search.open(file);
    ASSERT_TRUE(waitForStatus([](const auto &s) { return s.mode == Mode::Elsewhere; }));

    // The other writer gets on: the coverage shown follows it, nothing is read here.
    {
        auto recording = zv::localFileSystem().open(file, zv::FileSystem::OpenMode::Read);
        other->begin();
        other->setIndexed(zv::markRecording(*recording, 3), 0);
        other->commit();
    }
    ASSERT_TRUE(waitForStatus([](const auto &s) { return s.coverage.indexedFrames == 3; }));
    EXPECT_EQ(search.status().mode, Mode::Elsewhere);
    EXPECT_EQ(calls.load(), 0);
    EXPECT_TRUE(find(QStringLiteral("10342")).empty());  // it read no lines
    EXPECT_EQ(search.searchedFrames(), 3);
    EXPECT_FALSE(search.refresh());  // the index has not grown since

    // It stops: this viewer goes on from where it left off.
    other.reset();
    ASSERT_TRUE(waitForStatus([](const auto &s) { return indexedAll(s, 12); }));
    EXPECT_EQ(search.status().mode, Mode::Indexing);
    EXPECT_GT(calls.load(), 0);
    // The search is made again over what the index has gained.
    QSignalSpy finished(&search, &zv::TextSearch::searchFinished);
    ASSERT_TRUE(search.refresh());
    ASSERT_TRUE(finished.wait(10000));
    ASSERT_EQ(search.hits().size(), 1u);
    EXPECT_EQ(search.hits()[0].hit.firstFrame, zvtest::kReceiptFirst);
    EXPECT_EQ(search.searchedFrames(), 12);
}

TEST_F(TextSearchTest, ClosingWhileIndexingReturnsAtOnceAndKeepsWhatWasIndexed) {
    // Every frame from 20 on changes: with 40 ms a region, the whole takes seconds.
    zvtest::appendTextFrames(file, 0, 120);
    search.setReaderFactory([] { return std::make_unique<SlowReader>(40); });
    search.open(file);
    ASSERT_TRUE(waitForStatus([](const auto &s) { return s.coverage.indexedFrames > 20; }));
    QElapsedTimer closing;
    closing.start();
    search.close();
    EXPECT_LT(closing.elapsed(), 500);  // nothing waited for
    EXPECT_EQ(search.status().mode, Mode::Idle);
    // The run ends on its own after the region in flight, having committed what it read.
    QElapsedTimer ending;
    ending.start();
    zv::TextSearch::waitForRetiredRuns();
    EXPECT_LT(ending.elapsed(), 2000);  // a region in flight, not the rest of the recording

    auto recording = zv::localFileSystem().open(file, zv::FileSystem::OpenMode::Read);
    zv::TextIndex index(file, *recording);
    EXPECT_EQ(index.coverage().state, zv::TextIndexState::Partial);
    EXPECT_GT(index.coverage().indexedFrames, 20);
}
