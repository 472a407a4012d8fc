#include "viewer/VideoPlayer.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTimer>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "container/ZVFformatUnit.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "support/Fakes.h"
#include "support/RawZvf.h"
#include "support/TempRoot.h"
#include "viewer/Recordings.h"

namespace {

using zvtest::appendFrames;
using zvtest::framePixel;
using zvtest::frameTime;
using zvtest::makeRecording;

const std::string kPrefix = "Ошибка получения данных из файла видео:\r";

class VideoPlayerTest : public ::testing::Test {
protected:
    VideoPlayerTest()
        : quiet_([this](const std::string &text, zv::MessageKind) { messages.push_back(text); }) {
        QObject::connect(&player, &zv::VideoPlayer::positionChanged,
                         [this](int32_t p) { positions.push_back(p); });
        QObject::connect(&player, &zv::VideoPlayer::frameFailed,
                         [this](const QString &text) { failures.push_back(text.toStdString()); });
        QObject::connect(&player, &zv::VideoPlayer::playbackStopped, [this] { ++stops; });
        QObject::connect(&player, &zv::VideoPlayer::fileChanged, [this] { ++fileChanges; });
    }

    // The colour of the picture now held; 0 when there is none.
    uint32_t shownPixel() const {
        return player.picture().empty() ? 0 : player.picture().pixels()[0];
    }
    // Ticks until playback stops by itself, at most limit times; the ticks made.
    int playOut(int limit) {
        int ticks = 0;
        while (player.isPlaying() && ticks < limit) {
            player.tick();
            ++ticks;
        }
        return ticks;
    }

    zvtest::TempRoot root;
    const std::string file = root.file("rec.zvf");
    zvtest::FakeClock clock{1000};
    zv::VideoPlayer player{clock};
    std::vector<int32_t> positions;
    std::vector<std::string> failures;
    std::vector<std::string> messages;
    int stops = 0;
    int fileChanges = 0;

private:
    zv::ScopedMessageHandler quiet_;
};

// ---- Position and frames -----------------------------------------------------------------------

TEST_F(VideoPlayerTest, PositionIsClampedAndEveryChangeShowsItsFrame) {
    makeRecording(file, 5);
    player.open(file);
    EXPECT_EQ(player.count(), 5);
    EXPECT_EQ(player.fileSize(), static_cast<int64_t>(std::filesystem::file_size(file)));
    EXPECT_EQ(player.maximum(), 4);
    EXPECT_EQ(player.shownIndex(), 0);
    EXPECT_EQ(shownPixel(), framePixel(0));
    EXPECT_EQ(player.shownEntry().DateTime, frameTime(0));

    player.setPosition(3);
    EXPECT_EQ(shownPixel(), framePixel(3));
    player.setPosition(-7);
    player.setPosition(99);
    player.step(-1);
    player.step(10);
    player.step(1);  // at the maximum already: no change, nothing announced
    EXPECT_EQ(positions, (std::vector<int32_t>{3, 0, 4, 3, 4}));
    EXPECT_EQ(shownPixel(), framePixel(4));

    // A frame shown without moving the position (a row of the list).
    EXPECT_TRUE(player.showFrame(2));
    EXPECT_EQ(player.position(), 4);
    EXPECT_EQ(player.shownIndex(), 2);
    EXPECT_EQ(shownPixel(), framePixel(2));
    // A frame the file does not hold is not read: nothing is shown and nothing reported.
    EXPECT_FALSE(player.showFrame(5));
    EXPECT_EQ(player.shownIndex(), -1);
    EXPECT_TRUE(player.picture().empty());
    EXPECT_TRUE(failures.empty());
    EXPECT_TRUE(messages.empty());
}

TEST_F(VideoPlayerTest, FileWithoutFramesReadsNothing) {
    {
        zvtest::RawZvf raw(file);
        raw.putCount(0);
        raw.putEntry(0, int64_t{1} << 40, 1000, frameTime(0));  // would fail if it were read
    }
    player.open(file);
    EXPECT_EQ(player.count(), 0);
    EXPECT_EQ(player.maximum(), 0);
    EXPECT_EQ(player.shownIndex(), -1);
    player.step(1);
    player.play(10);
    player.tick();
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(player.goToTime(frameTime(0)));
    EXPECT_TRUE(failures.empty());
}

TEST_F(VideoPlayerTest, NothingIsReadAfterClose) {
    makeRecording(file, 3);
    player.open(file);
    player.close();
    EXPECT_EQ(player.reader(), nullptr);
    EXPECT_FALSE(player.showFrame(1));
    EXPECT_FALSE(player.refresh());
    player.tick();
    EXPECT_FALSE(player.isPlaying());
    EXPECT_THROW(player.open(root.file("folder-that-is-missing/x.zvf")), zv::Error);
    EXPECT_EQ(player.reader(), nullptr);
}

TEST_F(VideoPlayerTest, UndecodableFrameIsReportedOncePerPosition) {
    makeRecording(file, 4, {2});
    player.open(file);
    player.setPosition(1);
    player.setPosition(2);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].rfind(kPrefix, 0), 0u) << failures[0];
    EXPECT_GT(failures[0].size(), kPrefix.size());
    // The entry is shown; the picture keeps the last good frame.
    EXPECT_EQ(player.shownIndex(), 2);
    EXPECT_EQ(player.shownEntry().DateTime, frameTime(2));
    EXPECT_EQ(shownPixel(), framePixel(1));
    player.showFrame(2);  // a repaint
    player.showFrame(2);
    EXPECT_EQ(failures.size(), 1u);
    player.setPosition(3);
    player.setPosition(2);
    EXPECT_EQ(failures.size(), 2u);
    EXPECT_TRUE(messages.empty());  // the player tells its owner, not the operator
}

// ---- Playback ----------------------------------------------------------------------------------

TEST_F(VideoPlayerTest, PlaybackStopsAtTheLastFrameOrStartsAgainWithReplay) {
    makeRecording(file, 5);
    player.open(file);
    player.play(150);
    EXPECT_EQ(player.interval(), 150);
    EXPECT_EQ(playOut(100), 4);
    EXPECT_EQ(player.position(), 4);
    EXPECT_EQ(shownPixel(), framePixel(4));
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(clock.totalSlept(), 4u * zv::VideoPlayer::kStepPauseMs);

    player.setReplay(true);
    player.setPosition(2);
    player.play(10);
    player.tick();
    player.tick();  // reaches the last frame: frame 0 follows within the tick
    EXPECT_EQ(player.position(), 0);
    EXPECT_EQ(shownPixel(), framePixel(0));
    EXPECT_TRUE(player.isPlaying());
    player.tick();
    EXPECT_EQ(player.position(), 1);
}

TEST_F(VideoPlayerTest, OneFrameStopsAtTheFirstTickUnlessReplayIsOn) {
    makeRecording(file, 1);
    player.open(file);
    player.play(950);
    player.tick();
    EXPECT_FALSE(player.isPlaying());
    player.setReplay(true);
    player.play(950);
    player.tick();
    player.tick();
    EXPECT_TRUE(player.isPlaying());
    EXPECT_EQ(shownPixel(), framePixel(0));
    EXPECT_TRUE(failures.empty());
}

TEST_F(VideoPlayerTest, HeldPlaybackStopsAtTheFirstTick) {
    makeRecording(file, 5);
    player.open(file);
    player.setHeld(true);
    player.play(950);
    player.tick();
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(player.position(), 0);
    EXPECT_EQ(stops, 1);
}

TEST_F(VideoPlayerTest, IntervalStepsAndItsLimits) {
    makeRecording(file, 3);
    player.open(file);
    EXPECT_EQ(player.interval(), 1000);
    player.toggle();
    EXPECT_TRUE(player.isPlaying());
    EXPECT_EQ(player.interval(), 1000);
    player.toggle();
    EXPECT_FALSE(player.isPlaying());

    player.play(950);
    player.faster();
    player.faster();
    player.slower();
    EXPECT_EQ(player.interval(), 930);
    player.play(25);
    player.faster();
    player.faster();
    EXPECT_EQ(player.interval(), zv::VideoPlayer::kMinInterval);
    EXPECT_TRUE(player.isPlaying());
    player.play(zv::VideoPlayer::kMaxInterval);
    player.slower();
    EXPECT_EQ(player.interval(), zv::VideoPlayer::kMaxInterval);
    player.stop();
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(player.position(), 0);
}

// ---- Following a growing recording -------------------------------------------------------------

TEST_F(VideoPlayerTest, RefreshReadsTheCountAndSizeAgain) {
    makeRecording(file, 3);
    player.open(file);
    const int changesAtOpen = fileChanges;
    EXPECT_FALSE(player.refresh());
    EXPECT_FALSE(player.isLive());
    appendFrames(file, 3, 2);
    EXPECT_TRUE(player.refresh());
    EXPECT_EQ(fileChanges, changesAtOpen + 1);
    EXPECT_EQ(player.count(), 5);
    EXPECT_EQ(player.maximum(), 4);
    EXPECT_EQ(player.fileSize(), static_cast<int64_t>(std::filesystem::file_size(file)));
    EXPECT_TRUE(player.isLive());
    clock.advance(zv::VideoPlayer::kLiveWindowMs);
    EXPECT_FALSE(player.isLive());
    EXPECT_EQ(player.position(), 0);  // following never moves the position by itself
}

TEST_F(VideoPlayerTest, FollowingRunsOnceASecondWhileTheFileIsOpen) {
    makeRecording(file, 2);
    player.open(file);
    auto *follow = player.findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(follow, nullptr);
    int following = 0;
    for (QTimer *timer : player.findChildren<QTimer *>())
        if (timer != player.timer() && timer->isActive() &&
            timer->interval() == zv::VideoPlayer::kFollowIntervalMs)
            ++following;
    EXPECT_EQ(following, 1);
    player.close();
    for (QTimer *timer : player.findChildren<QTimer *>())
        EXPECT_FALSE(timer->isActive());
}

TEST_F(VideoPlayerTest, PlaybackGoesOnIntoFramesAppendedWhileItPlays) {
    makeRecording(file, 3);
    player.open(file);
    player.play(10);
    player.tick();
    appendFrames(file, 3, 2);
    player.tick();  // reaches the known end, finds two more frames and goes on
    EXPECT_TRUE(player.isPlaying());
    EXPECT_EQ(player.count(), 5);
    player.tick();
    player.tick();
    EXPECT_EQ(player.position(), 4);
    EXPECT_EQ(shownPixel(), framePixel(4));
    // At the end of a live recording playback waits for the recorder...
    player.tick();
    EXPECT_TRUE(player.isPlaying());
    appendFrames(file, 5, 1);
    player.tick();  // ...and shows its next frame at the next tick
    EXPECT_EQ(player.position(), 5);
    EXPECT_EQ(shownPixel(), framePixel(5));
    // Once the recording stopped growing, the end is the true end.
    clock.advance(zv::VideoPlayer::kLiveWindowMs);
    player.tick();
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(player.position(), 5);
    EXPECT_TRUE(failures.empty());
}

TEST_F(VideoPlayerTest, ReplayWaitsForALiveRecordingAndStartsAgainAtTheTrueEnd) {
    makeRecording(file, 2);
    player.open(file);
    player.setReplay(true);
    appendFrames(file, 2, 1);
    player.refresh();
    player.play(10);
    player.tick();
    player.tick();
    EXPECT_EQ(player.position(), 2);
    player.tick();
    EXPECT_EQ(player.position(), 2);  // waiting: the recorder wrote a moment ago
    clock.advance(zv::VideoPlayer::kLiveWindowMs);
    player.tick();
    EXPECT_EQ(player.position(), 0);
    EXPECT_TRUE(player.isPlaying());
}

TEST_F(VideoPlayerTest, AShrunkFileIsShownUpToWhatItHolds) {
    makeRecording(file, 10);
    player.open(file);
    player.setPosition(8);
    {
        zvtest::RawZvf raw(zv::nativePath(file));
        raw.putCount(4);  // a file copied over by a shorter one, say
    }
    EXPECT_TRUE(player.refresh());
    EXPECT_EQ(player.count(), 4);
    EXPECT_EQ(player.position(), 3);
    EXPECT_EQ(shownPixel(), framePixel(3));
    EXPECT_FALSE(player.showFrame(6));
    // Cut inside the index: only the entries the file still holds count.
    {
        zvtest::RawZvf raw(zv::nativePath(file));
        raw.truncate(2000 + 20 * 2 + 10);
    }
    player.refresh();
    EXPECT_EQ(player.count(), 2);
    EXPECT_EQ(player.position(), 1);
    // Frame 1's bytes are gone: a failure, told once, and nothing read past the file.
    EXPECT_EQ(failures.size(), 1u);
    player.play(10);
    playOut(10);
    EXPECT_EQ(player.position(), 1);
    EXPECT_EQ(failures.size(), 1u);
}

TEST_F(VideoPlayerTest, AReplacedFileIsShownAsItWasOpened) {
    makeRecording(file, 5);
    player.open(file);
    // The recorder moves the full file aside and starts a new one under the name.
    std::filesystem::rename(file, root.file("rec_20240305_102035.zvf"));
    makeRecording(file, 2);
    EXPECT_FALSE(player.refresh());
    EXPECT_EQ(player.count(), 5);
    player.setPosition(4);
    EXPECT_EQ(shownPixel(), framePixel(4));
    EXPECT_TRUE(failures.empty());
}

// ---- Decoding ahead ----------------------------------------------------------------------------

TEST_F(VideoPlayerTest, PlayingShowsFramesDecodedAhead) {
    makeRecording(file, 20);
    player.open(file);
    player.play(10);
    for (int k = 1; k <= 10; ++k) {
        player.tick();
        ASSERT_EQ(player.position(), k);
        ASSERT_EQ(shownPixel(), framePixel(k)) << k;
    }
    EXPECT_EQ(player.framesDecodedAhead(), 10);
    // A step of its own while playing decodes at once and drops the frame decoded for 11.
    player.step(5);
    EXPECT_EQ(shownPixel(), framePixel(15));
    EXPECT_EQ(player.framesDecodedAhead(), 10);
    player.tick();
    EXPECT_EQ(shownPixel(), framePixel(16));
    EXPECT_EQ(player.framesDecodedAhead(), 11);
    // Paused, nothing is decoded ahead.
    player.pause();
    player.step(-10);
    player.step(1);
    EXPECT_EQ(shownPixel(), framePixel(7));
    EXPECT_EQ(player.framesDecodedAhead(), 11);
}

TEST_F(VideoPlayerTest, AFrameDecodedAheadThatIsNoPictureIsReportedWhenItIsDue) {
    makeRecording(file, 6, {3});
    player.open(file);
    player.play(10);
    player.tick();
    player.tick();
    EXPECT_TRUE(failures.empty());  // frame 3 is decoded, not yet shown
    player.tick();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].rfind(kPrefix, 0), 0u);
    EXPECT_EQ(shownPixel(), framePixel(2));
    player.tick();
    EXPECT_EQ(shownPixel(), framePixel(4));
    EXPECT_EQ(failures.size(), 1u);
}

TEST_F(VideoPlayerTest, ANewFileDropsWhatWasDecodedForTheOldOne) {
    makeRecording(file, 5);
    const std::string other = root.file("other.zvf");
    appendFrames(other, 10, 5);  // colours of frames 10..14
    player.open(file);
    player.play(10);  // decodes frame 1 of the first file ahead
    player.open(other);
    player.play(10);
    player.tick();
    EXPECT_EQ(shownPixel(), framePixel(11));
}

// ---- Going to a time ---------------------------------------------------------------------------

TEST_F(VideoPlayerTest, GoingToATimeShowsTheFrameAtOrJustBeforeIt) {
    makeRecording(file, 30);
    player.open(file);
    const double halfSecond = 0.5 / 86400;
    EXPECT_TRUE(player.goToTime(frameTime(17)));
    EXPECT_EQ(player.position(), 17);
    player.goToTime(frameTime(21) + halfSecond);
    EXPECT_EQ(player.position(), 21);
    player.goToTime(frameTime(21) - halfSecond);
    EXPECT_EQ(player.position(), 20);
    player.goToTime(frameTime(0) - 1);  // a day before the recording: its first frame
    EXPECT_EQ(player.position(), 0);
    player.goToTime(frameTime(29) + 1);
    EXPECT_EQ(player.position(), 29);
    EXPECT_EQ(shownPixel(), framePixel(29));
}

TEST(FrameAtOrBefore, SearchesAFullIndexAndSurvivesAClockThatWentBack) {
    zvtest::TempRoot root;
    const std::string file = root.file("full.zvf");
    constexpr int32_t kFull = 499'900;
    {
        // Entries only (a sparse file): frame i taken at second i, but from frame 300,000 on the
        // clock was set back by a day.
        std::vector<uint8_t> index(20 * static_cast<size_t>(kFull));
        for (int32_t i = 0; i < kFull; ++i) {
            const double t = 1000.0 + i / 86400.0 - (i >= 300'000 ? 1.0 : 0.0);
            std::memcpy(&index[20 * static_cast<size_t>(i) + 12], &t, 8);
        }
        zvtest::RawZvf raw(file);
        raw.putCount(kFull);
        raw.put(2000, index.data(), index.size());
    }
    TZVFFormat reader(file);
    auto timeOf = [&](int32_t i) {
        TZVFFrameEntry e;
        reader.ReadFrameEntry(i, e);
        return e.DateTime;
    };
    EXPECT_EQ(zv::frameAtOrBefore(reader, kFull, timeOf(123'456)), 123'456);
    EXPECT_EQ(zv::frameAtOrBefore(reader, kFull, timeOf(kFull - 1) + 1), kFull - 1);
    EXPECT_EQ(zv::frameAtOrBefore(reader, 0, 1000.0), -1);
    // Where the time runs twice through the same seconds, any frame at which it passes the time
    // asked for is a fair answer: at or before it, with the next frame after it.
    for (double asked : {timeOf(250'000) + 0.5 / 86400, timeOf(299'999) + 0.1 / 86400,
                         timeOf(300'010), timeOf(420'000) - 0.5 / 86400}) {
        const int32_t found = zv::frameAtOrBefore(reader, kFull, asked);
        ASSERT_GE(found, 0);
        ASSERT_LT(found, kFull - 1);
        EXPECT_LE(timeOf(found), asked) << found;
        EXPECT_GT(timeOf(found + 1), asked) << found;
    }
}

// ---- Changes of the screen --------------------------------------------------------------------

TEST_F(VideoPlayerTest, NextAndPreviousChangeMoveExactlyAndStopAtTheEnd) {
    // Runs of 3, 4 and 5 frames of pictures of one size: only their bytes tell them apart.
    zvtest::makeRuns(file, {3, 4, 5});
    player.open(file);
    EXPECT_EQ(player.activity().frames(), 12);
    EXPECT_EQ(player.activity().activeIn(0, 11), 0);  // the sizes alone see nothing
    QSignalSpy done(&player, &zv::VideoPlayer::changeSearchDone);
    auto search = [&](void (zv::VideoPlayer::*action)()) {
        (player.*action)();
        EXPECT_TRUE(done.wait(10'000));
        return player.position();
    };
    EXPECT_EQ(search(&zv::VideoPlayer::nextChange), 3);
    EXPECT_EQ(search(&zv::VideoPlayer::nextChange), 7);
    EXPECT_EQ(search(&zv::VideoPlayer::nextChange), 11);  // the last frame: no change after 7
    EXPECT_EQ(search(&zv::VideoPlayer::nextChange), 11);
    player.setPosition(9);
    EXPECT_EQ(search(&zv::VideoPlayer::previousChange), 7);
    EXPECT_EQ(search(&zv::VideoPlayer::previousChange), 3);
    EXPECT_EQ(search(&zv::VideoPlayer::previousChange), 0);
    EXPECT_EQ(search(&zv::VideoPlayer::previousChange), 0);
    // A search whose start the operator left moves nothing.
    player.nextChange();
    player.setPosition(9);
    EXPECT_TRUE(done.wait(10'000));
    EXPECT_EQ(player.position(), 9);
    EXPECT_TRUE(messages.empty());
}

TEST_F(VideoPlayerTest, TheActivityFollowsAGrowingRecordingAndStartsOverForAShorterOne) {
    zvtest::makeRuns(file, {3});
    player.open(file);
    EXPECT_EQ(player.activity().frames(), 3);
    // Frame 4 holds bytes of another size than its neighbours: it and frame 5 are active.
    appendFrames(file, 3, 3, {4});
    ASSERT_TRUE(player.refresh());
    EXPECT_EQ(player.activity().frames(), 6);
    EXPECT_EQ(player.activity().activeIn(0, 5), 2);
    EXPECT_EQ(player.activity().columns(6, 0, 5), (std::vector<uint8_t>{0, 0, 0, 0, 1, 1}));
    // Another recording copied over it, shorter: read from its start.
    const std::string other = root.file("other.zvf");
    appendFrames(other, 0, 2, {1});
    std::filesystem::copy_file(other, file, std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(player.refresh());
    EXPECT_EQ(player.activity().frames(), 2);
    EXPECT_EQ(player.activity().activeIn(0, 1), 1);
}

TEST_F(VideoPlayerTest, SkippingStillScreensPassesRunsLongerThanTwoSecondsInOneStep) {
    // Frames one second apart: a still run of 2 s (0, 1), one of 10 s (2 .. 11), then two
    // single frames.
    zvtest::makeRuns(file, {2, 10, 1, 1});
    player.open(file);
    player.setSkipStill(true);
    QSignalSpy done(&player, &zv::VideoPlayer::changeSearchDone);
    // Ticks by hand; the timer itself would not tick before an hour.
    player.play(zv::VideoPlayer::kMaxInterval);
    auto settle = [&] {
        while (player.isLookingAhead())
            ASSERT_TRUE(done.wait(10'000));
    };
    settle();
    std::vector<int32_t> steps;
    while (player.isPlaying() && steps.size() < 20) {
        player.tick();
        steps.push_back(player.position());
        settle();
    }
    EXPECT_EQ(steps, (std::vector<int32_t>{1, 2, 12, 13}));
    // Without skipping every frame is shown.
    player.setSkipStill(false);
    player.stop();
    player.play(zv::VideoPlayer::kMaxInterval);
    EXPECT_EQ(playOut(100), 13);
}

}  // namespace
