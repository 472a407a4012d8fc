#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "container/ChangeFinder.h"
#include "container/GifImage.h"
#include "container/ZVFformatUnit.h"
#include "platform/Clock.h"
#include "platform/Status.h"
#include "viewer/ChangeSearch.h"
#include "viewer/FrameDecoder.h"

class QTimer;

namespace zv {

// The frame at or just before dateTime among frames 0 .. count - 1 of reader: a binary search
// over the index (about twenty entries read for a full recording), which takes the frames'
// times as rising. Where the recorder's clock went back, it finds one of the frames at which
// the time passes dateTime. A time before the first frame gives 0; -1 when count <= 0.
int32_t frameAtOrBefore(const TZVFFormat &reader, int32_t count, double dateTime);

// What the viewer plays, without any window: one recording (its reader), the position within it,
// the known count and size, the playback timer with its interval and replay switch, the report
// of a frame that cannot be shown (once per position), following a recording that grows while
// it is watched, and decoding the next frame ahead on a worker thread while playing.
//
// The count and size are read when the file is opened, once a second while it is open
// (following), and whenever playback reaches the known end. A count that grew extends the
// range; one that shrank (a file cut or copied over) lowers it, and nothing beyond it is read.
//
// Playback steps one frame per tick and pauses kStepPauseMs after each step. At the known end it
// waits for new frames while the recording is live (it grew within kLiveWindowMs); at the true
// end it starts again at frame 0 with replay on, otherwise it stops.
//
// Changes of the screen (container/ChangeFinder.h): the activity of the recording from sizes
// alone, kept up to the known count for a strip under the slider; exact searches for the next
// and the previous change, on a thread of their own; and, while skipping still screens, a
// search ahead of playback so that a still run longer than kStillSkipSeconds is passed in one
// step.
//
// Lives on the thread that created it; no exception leaves its operations except open.
class VideoPlayer : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultInterval = 1000;  // before any play button or +/- key
    static constexpr int kIntervalStep = 20;
    static constexpr int kMinInterval = 10;  // 0 would stop the ticks
    static constexpr int kMaxInterval = 3'600'000;
    static constexpr uint32_t kStepPauseMs = 5;
    static constexpr int kFollowIntervalMs = 1000;
    static constexpr uint32_t kLiveWindowMs = 5000;
    // Frames decoded ahead while playing, each on a worker of its own: one decode may take
    // longer than the fastest tick, two side by side keep up with it.
    static constexpr int kFramesAhead = 2;
    // While skipping still screens, a still run is passed in one step when the screen would
    // otherwise stand longer than this.
    static constexpr double kStillSkipSeconds = 2.0;

    explicit VideoPlayer(Clock &clock, QObject *parent = nullptr);
    ~VideoPlayer() override;

    // ---- The file
    // Opens fileName (the operator's name; drive paths are mapped), position 0, and shows frame 0.
    // Throws zv::Error when it cannot be opened; the player then holds no file.
    void open(const std::string &fileName);
    // Stops playback and following and releases the reader; nothing is read afterwards.
    void close();
    const TZVFFormat *reader() const { return VideoFile.get(); }
    int32_t count() const { return count_; }
    int64_t fileSize() const { return size_; }
    // Reads the count and size again; true (and fileChanged) when either changed.
    bool refresh();
    // The recording grew within the last kLiveWindowMs.
    bool isLive() const;

    // ---- Position
    int32_t position() const { return position_; }
    int32_t maximum() const { return count_ > 0 ? count_ - 1 : 0; }
    // Clamps index into 0 .. maximum(); a change is announced and its frame shown.
    void setPosition(int64_t index);
    void step(int32_t delta) { setPosition(int64_t{position_} + delta); }
    // Moves to the frame at or just before dateTime; false when there is no frame.
    bool goToTime(double dateTime);
    // Entry index, when the file holds it (0 .. count - 1).
    bool readEntry(int32_t index, TZVFFrameEntry &entry) const;

    // ---- Frames
    // ---- Changes of the screen
    // Which frames changed, by their sizes (an approximation), up to count().
    const zvf::SizeActivity &activity() const { return activity_; }
    // Starts a search for the next change after the position (the first frame that differs
    // from the one before it), or the previous one (the start of the still run that holds the
    // position, or of the run before). When it ends the position moves there; the next change
    // of a screen that stands still to the end of the file is the last frame. A search started
    // again from the same place while it runs goes on; one whose start the position has left
    // (backwards, or past the change found) moves nothing. A file that cannot be read is told
    // through showMessage, as a frame that cannot be shown.
    void nextChange();
    void previousChange();
    bool isSearching() const { return jump_->busy(); }
    // Playback passes still runs longer than kStillSkipSeconds in one step.
    void setSkipStill(bool on);
    bool skipStill() const { return skipStill_; }
    // The search ahead of playback is under way.
    bool isLookingAhead() const { return ahead_->busy(); }

    // Reads and decodes frame index (or takes it decoded ahead) without moving the position.
    // A frame the file does not hold is not read: nothing is shown. Failures are reported
    // through frameFailed, once per position; false then, and the last picture stays.
    bool showFrame(int32_t index);
    int32_t shownIndex() const { return shownIndex_; }  // -1: none
    const TZVFFrameEntry &shownEntry() const { return shownEntry_; }
    // The last picture decoded successfully (empty after a file without frames).
    const GifImage &picture() const { return picture_; }
    // Frames shown from the worker's decode since the file was opened (decoded ahead in time).
    int64_t framesDecodedAhead() const { return decodedAhead_; }
    // Clears the picture and the shown frame.
    void showNothing();

    // ---- Playback
    QTimer *timer() const { return timer_; }
    bool isPlaying() const;
    int interval() const;
    void play(int interval);
    void pause();
    void stop();    // pause, then position 0
    void toggle();  // starts or stops at the current interval
    void faster();  // interval - kIntervalStep, not below kMinInterval
    void slower();  // interval + kIntervalStep, not above kMaxInterval
    void setReplay(bool on) { replay_ = on; }
    bool replay() const { return replay_; }
    // While held (the frame list is shown) a tick stops playback instead of stepping.
    void setHeld(bool held) { held_ = held; }
    // One playback step.
    void tick();

signals:
    // Count or size changed (open, close, following).
    void fileChanged();
    void positionChanged(int32_t position);
    // A frame was read: its entry is shownEntry(); the picture is new, or the last good one when
    // the frame failed. -1: nothing shown (no file, no frame, picture cleared).
    void frameShown(int32_t index);
    // Playback stopped by itself (at the end, or held).
    void playbackStopped();
    // The operator's text about a frame that cannot be shown.
    void frameFailed(const QString &text);
    // A search for a change ended (nextChange, previousChange or the one ahead of playback),
    // after the position moved.
    void changeSearchDone();

private:
    // Decodes frame index into scratch_: ok, or why it cannot be shown.
    Status decodeInto(int32_t index);
    void report(int32_t index, const std::string &text);
    void decodeAhead();
    // The k-th frame (k >= 1) that playback shows after the position, or -1.
    int32_t ahead(int k) const;
    void stopByItself();
    uint64_t keyOf(int32_t index) const;
    // At the last known frame: reads the count again and decides what follows.
    void atKnownEnd();
    // Keeps the activity up to the count.
    void updateActivity();
    void searchChange(ChangeSearch::Direction direction);
    void jumpFound(ChangeSearch::Direction direction, int32_t from, int32_t found, int32_t reach,
                   const QString &failure);
    void stillRunFound(int32_t from, int32_t found, int32_t reach);
    // While skipping: starts the search ahead of playback when the position left the known run.
    void lookAhead();
    // While skipping: moves past the still run that holds the position when it is long; false
    // when playback steps as usual.
    bool passStillRun();

    Clock &clock_;
    std::unique_ptr<TZVFFormat> VideoFile;
    int32_t count_ = 0;
    int64_t size_ = 0;
    int32_t position_ = 0;
    bool replay_ = false;
    bool held_ = false;

    QTimer *timer_;
    QTimer *follow_;
    bool grew_ = false;        // the count has grown since the file was opened
    uint32_t grewAt_ = 0;      // tick count of the last growth
    uint32_t generation_ = 0;  // changes with every file and every shrink

    int32_t shownIndex_ = -1;
    TZVFFrameEntry shownEntry_;
    int32_t reportedIndex_ = -1;  // position whose failure was reported last
    int64_t decodedAhead_ = 0;

    GifImage picture_;
    GifImage scratch_;            // the next picture; swapped in after a good decode
    std::vector<uint8_t> bytes_;  // frame bytes, reused
    FrameDecoder decoder_{kFramesAhead};

    std::string nativeFile_;  // the open file, for the searches' own reads
    zvf::SizeActivity activity_;
    ChangeSearch *jump_;
    ChangeSearch::Direction jumpDirection_ = ChangeSearch::Direction::Next;
    uint32_t jumpGeneration_ = 0;
    ChangeSearch *ahead_;
    uint32_t aheadGeneration_ = 0;
    bool skipStill_ = false;
    // The still run ahead of playback: frames from .. end - 1 show the same screen, and end is a
    // change (or the last frame looked at, when none was found).
    struct StillRun {
        int32_t from = -1;
        int32_t end = -1;
    } still_;
};

}  // namespace zv
