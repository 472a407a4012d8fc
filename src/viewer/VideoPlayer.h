#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "container/GifImage.h"
#include "container/ZVFformatUnit.h"
#include "platform/Clock.h"
#include "platform/Status.h"
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
};

}  // namespace zv
