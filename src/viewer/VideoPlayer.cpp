#include "viewer/VideoPlayer.h"

#include <QTimer>
#include <algorithm>
#include <exception>
#include <limits>
#include <utility>

#include "platform/Messages.h"
#include "platform/Paths.h"

namespace zv {

int32_t frameAtOrBefore(const TZVFFormat &reader, int32_t count, double dateTime) {
    if (count <= 0)
        return -1;
    // An entry the file does not hold keeps the NaN, which counts as later than any time.
    auto timeOf = [&reader](int32_t index) {
        TZVFFrameEntry entry;
        entry.DateTime = std::numeric_limits<double>::quiet_NaN();
        reader.ReadFrameEntry(index, entry);
        return entry.DateTime;
    };
    if (!(timeOf(0) <= dateTime))
        return 0;
    // time(low) <= dateTime, and time(high) > dateTime or high is past the last frame.
    int32_t low = 0;
    int32_t high = count;
    while (high - low > 1) {
        const int32_t middle = low + (high - low) / 2;
        if (timeOf(middle) <= dateTime)
            low = middle;
        else
            high = middle;
    }
    return low;
}

VideoPlayer::VideoPlayer(Clock &clock, QObject *parent)
    : QObject(parent),
      clock_(clock),
      timer_(new QTimer(this)),
      follow_(new QTimer(this)),
      jump_(new ChangeSearch(this)),
      ahead_(new ChangeSearch(this)) {
    timer_->setObjectName(QStringLiteral("Timer1"));
    timer_->setInterval(kDefaultInterval);
    timer_->setTimerType(Qt::PreciseTimer);  // a 10 ms interval must stay 10 ms
    connect(timer_, &QTimer::timeout, this, [this] { showFailureOf([this] { tick(); }); });
    follow_->setInterval(kFollowIntervalMs);
    connect(follow_, &QTimer::timeout, this, [this] { refresh(); });
    connect(jump_, &ChangeSearch::finished, this,
            [this](ChangeSearch::Direction direction, int32_t from, int32_t found, int32_t reach,
                   const QString &failure) { jumpFound(direction, from, found, reach, failure); });
    connect(ahead_, &ChangeSearch::finished, this,
            [this](ChangeSearch::Direction, int32_t from, int32_t found, int32_t reach,
                   const QString &) { stillRunFound(from, found, reach); });
}

VideoPlayer::~VideoPlayer() = default;

// ---- The file --------------------------------------------------------------------------------

void VideoPlayer::open(const std::string &fileName) {
    close();
    VideoFile = std::make_unique<TZVFFormat>(fileName);
    nativeFile_ = nativeFilePath(fileName);
    ++generation_;
    count_ = VideoFile->FrameCount();
    size_ = VideoFile->FileSize();
    updateActivity();
    grew_ = false;
    reportedIndex_ = -1;
    decodedAhead_ = 0;
    const bool moved = position_ != 0;
    position_ = 0;
    follow_->start();
    emit fileChanged();
    if (moved)
        emit positionChanged(position_);
    showFrame(position_);
}

void VideoPlayer::close() {
    timer_->stop();
    follow_->stop();
    decoder_.drop();
    jump_->cancel();
    ahead_->cancel();
    still_ = {};
    VideoFile.reset();
    ++generation_;
    count_ = 0;
    size_ = 0;
    activity_.clear();
}

bool VideoPlayer::refresh() {
    if (!VideoFile)
        return false;
    const int32_t count = VideoFile->FrameCount();
    const int64_t size = VideoFile->FileSize();
    if (count == count_ && size == size_)
        return false;
    if (count > count_) {
        grew_ = true;
        grewAt_ = clock_.tickCount();
    } else if (count < count_) {
        // Frames past the new end may come back with other bytes: nothing decoded before counts.
        ++generation_;
        decoder_.drop();
        still_ = {};
    }
    count_ = count;
    size_ = size;
    updateActivity();
    emit fileChanged();
    if (position_ > maximum())
        setPosition(maximum());
    return true;
}

bool VideoPlayer::isLive() const {
    return grew_ && clock_.tickCount() - grewAt_ < kLiveWindowMs;
}

// ---- Position --------------------------------------------------------------------------------

void VideoPlayer::setPosition(int64_t index) {
    const int32_t clamped = static_cast<int32_t>(std::clamp<int64_t>(index, 0, maximum()));
    if (clamped == position_)
        return;
    position_ = clamped;
    emit positionChanged(position_);
    showFrame(position_);
    decodeAhead();
}

bool VideoPlayer::goToTime(double dateTime) {
    if (!VideoFile || count_ <= 0)
        return false;
    setPosition(frameAtOrBefore(*VideoFile, count_, dateTime));
    return true;
}

bool VideoPlayer::readEntry(int32_t index, TZVFFrameEntry &entry) const {
    if (!VideoFile || index < 0 || index >= count_)
        return false;
    std::vector<TZVFFrameEntry> one = VideoFile->ReadFrameEntries(index, 1);
    if (one.empty())
        return false;
    entry = one.front();
    return true;
}

// ---- Frames ----------------------------------------------------------------------------------

bool VideoPlayer::showFrame(int32_t index) {
    if (!VideoFile)
        return false;  // nothing may be read without a reader
    // The count read now, not the known one: a file cut since is not read beyond its end.
    if (index < 0 || index >= VideoFile->FrameCount()) {
        showNothing();
        return false;
    }
    TZVFFrameEntry entry;
    VideoFile->ReadFrameEntry(index, entry);
    shownIndex_ = index;
    shownEntry_ = entry;
    const Status decoded = decodeInto(index);
    if (decoded.ok()) {
        std::swap(picture_, scratch_);
        reportedIndex_ = -1;
    }
    emit frameShown(index);
    if (!decoded.ok())
        report(index, TZVFFormat::LoadFailureText(decoded.reason()));
    return decoded.ok();
}

Status VideoPlayer::decodeInto(int32_t index) {
    Status decoded;
    switch (decoder_.take(keyOf(index), scratch_, decoded)) {
        case FrameDecoder::Outcome::Decoded:
            ++decodedAhead_;
            return decoded;
        case FrameDecoder::Outcome::Failed:
            return decoded;
        case FrameDecoder::Outcome::NotAhead:
            break;
    }
    const Status read = VideoFile->ReadFrameBytes(index, bytes_);
    if (!read.ok())
        return read;
    return statusOf([this] { scratch_.loadFromBytes(bytes_.data(), bytes_.size()); });
}

void VideoPlayer::showNothing() {
    shownIndex_ = -1;
    shownEntry_ = {};
    picture_.clear();
    emit frameShown(-1);
}

void VideoPlayer::report(int32_t index, const std::string &text) {
    // Repaints read the position on screen again; its failure is told once.
    if (index == reportedIndex_)
        return;
    reportedIndex_ = index;
    emit frameFailed(QString::fromStdString(text));
}

uint64_t VideoPlayer::keyOf(int32_t index) const {
    return (uint64_t{generation_} << 32) | static_cast<uint32_t>(index);
}

int32_t VideoPlayer::ahead(int k) const {
    const int64_t next = int64_t{position_} + k;
    if (next <= maximum())
        return static_cast<int32_t>(next);
    // Past the end: frame 0 and on with replay, once the recording has stopped growing.
    if (!replay_ || maximum() == 0 || isLive())
        return -1;
    const int64_t wrapped = next - maximum() - 1;
    return wrapped <= maximum() ? static_cast<int32_t>(wrapped) : -1;
}

void VideoPlayer::decodeAhead() {
    if (!VideoFile || held_ || !isPlaying())
        return;
    for (int k = 1; k <= kFramesAhead; ++k) {
        const int32_t next = ahead(k);
        if (next < 0)
            return;
        if (decoder_.holds(keyOf(next)))
            continue;
        // A frame that cannot be read is left to its step, which reads it again and reports it.
        if (!VideoFile->ReadFrameBytes(next, bytes_).ok())
            return;
        decoder_.submit(keyOf(next), bytes_);
    }
}

// ---- Playback --------------------------------------------------------------------------------

bool VideoPlayer::isPlaying() const {
    return timer_->isActive();
}

int VideoPlayer::interval() const {
    return timer_->interval();
}

void VideoPlayer::play(int interval) {
    timer_->setInterval(std::clamp(interval, kMinInterval, kMaxInterval));
    timer_->start();
    lookAhead();
    decodeAhead();
}

void VideoPlayer::pause() {
    timer_->stop();
}

void VideoPlayer::stop() {
    timer_->stop();
    setPosition(0);
}

void VideoPlayer::toggle() {
    if (timer_->isActive()) {
        timer_->stop();
    } else {
        timer_->start();
        lookAhead();
        decodeAhead();
    }
}

void VideoPlayer::faster() {
    timer_->setInterval(std::max(timer_->interval() - kIntervalStep, kMinInterval));
}

void VideoPlayer::slower() {
    timer_->setInterval(std::min(timer_->interval() + kIntervalStep, kMaxInterval));
}

void VideoPlayer::stopByItself() {
    timer_->stop();
    emit playbackStopped();
}

void VideoPlayer::tick() {
    if (held_ || !VideoFile) {
        stopByItself();
        return;
    }
    if (position_ == maximum())
        refresh();  // waiting at the end of a live recording: new frames may have come
    if (!passStillRun())
        setPosition(int64_t{position_} + 1);
    if (position_ == maximum())
        atKnownEnd();
    lookAhead();
    decodeAhead();
    clock_.sleepMs(kStepPauseMs);
}

void VideoPlayer::atKnownEnd() {
    refresh();
    if (position_ < maximum())
        return;  // the recording grew: the next tick steps on
    if (isLive())
        return;  // the recorder is still writing: wait for its next frame
    if (replay_)
        setPosition(0);
    else
        stopByItself();
}

// ---- Changes of the screen -------------------------------------------------------------------

void VideoPlayer::updateActivity() {
    if (VideoFile)
        activity_.follow(*VideoFile, count_);
    else
        activity_.clear();
}

void VideoPlayer::nextChange() {
    searchChange(ChangeSearch::Direction::Next);
}

void VideoPlayer::previousChange() {
    searchChange(ChangeSearch::Direction::Previous);
}

void VideoPlayer::searchChange(ChangeSearch::Direction direction) {
    if (!VideoFile || count_ <= 0)
        return;
    // A key held down repeats: the search under way answers them all.
    if (jump_->busy() && jumpDirection_ == direction && jumpGeneration_ == generation_)
        return;
    jumpDirection_ = direction;
    jumpGeneration_ = generation_;
    jump_->start(nativeFile_, direction, position_);
}

void VideoPlayer::jumpFound(ChangeSearch::Direction direction, int32_t from, int32_t found,
                            int32_t reach, const QString &failure) {
    if (!failure.isEmpty()) {
        showMessage(TZVFFormat::LoadFailureText(failure.toStdString()));
    } else if (VideoFile && jumpGeneration_ == generation_) {
        const int32_t target =
            direction == ChangeSearch::Direction::Next ? (found >= 0 ? found : reach) : found;
        // Playback may have gone on within the still run meanwhile; the change is still ahead.
        const bool stillMeant = direction == ChangeSearch::Direction::Next
                                    ? position_ >= from && position_ < target
                                    : position_ == from;
        if (target >= 0 && stillMeant) {
            if (target > maximum())
                refresh();
            setPosition(target);
        }
    }
    emit changeSearchDone();
}

void VideoPlayer::setSkipStill(bool on) {
    skipStill_ = on;
    if (!on) {
        ahead_->cancel();
        still_ = {};
    } else {
        lookAhead();
    }
}

void VideoPlayer::lookAhead() {
    // At the last known frame nothing lies ahead yet (a live recording is waited for).
    if (!skipStill_ || !VideoFile || held_ || !isPlaying() || ahead_->busy() ||
        position_ >= maximum())
        return;
    if (still_.from >= 0 && position_ >= still_.from && position_ < still_.end)
        return;  // the run that holds the position is known
    if (activity_.activeIn(position_ + 1, position_ + 1) > 0) {
        still_ = {position_, position_ + 1};  // the next frame has another size: no search
        return;
    }
    aheadGeneration_ = generation_;
    ahead_->start(nativeFile_, ChangeSearch::Direction::Next, position_);
}

void VideoPlayer::stillRunFound(int32_t from, int32_t found, int32_t reach) {
    if (aheadGeneration_ == generation_) {
        still_.from = from;
        still_.end = found >= 0 ? found : reach;
    }
    emit changeSearchDone();
}

bool VideoPlayer::passStillRun() {
    if (!skipStill_ || still_.from < 0 || position_ < still_.from || position_ >= still_.end)
        return false;
    const int32_t target = still_.end;
    if (target - position_ < 2)
        return false;  // the next step gets there anyway
    if (target > maximum())
        refresh();
    TZVFFrameEntry here, there;
    if (!readEntry(position_, here) || !readEntry(target, there))
        return false;
    if ((there.DateTime - here.DateTime) * 86'400.0 <= kStillSkipSeconds)
        return false;
    setPosition(target);
    return true;
}

}  // namespace zv
