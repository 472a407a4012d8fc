#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "container/ZVFConstants.h"
#include "platform/File.h"

// Where the screen changed, from the recording itself. The recorder encodes the same screen to
// the same bytes, so a frame whose bytes equal those of the frame before it shows nothing new.
//
// A frame starts something new (a "change start") when it is the first frame looked at, or when
// its bytes differ from the frame before it. Sizes from the index decide most frames (different
// sizes, different bytes); only a frame whose size equals the one before is compared byte by
// byte, its bytes and its neighbour's read in large sequential pieces. A damaged frame (one that
// zvf::frameFault refuses, or that the file no longer holds when it is read) counts as a change,
// and so does the frame after it: neither can be shown as the one before it was.
//
// Everything reads the file through the frame reader (ZVFFrameReader.h) at the moment of the
// call: the count is taken as the truth, so a recording that grows meanwhile is read as far as
// it goes. None of these functions writes; zv::Error from a read error passes through.
class TZVFFormat;

namespace zvf {

// Stops a long search from another thread; checked between pieces of reading.
using CancelFlag = std::atomic<bool>;

// The change starts of one recording, found incrementally: each scan examines the frames that
// the file holds beyond those examined so far, so a caller following a growing recording scans
// again after the count grew and gets only the new starts. The file must outlive the scanner.
// Not thread-safe; one thread per scanner.
class ChangeScanner {
public:
    // Frame first (0 or more) is the first to examine and is always a change start.
    ChangeScanner(zv::RandomFile &file, int32_t first);
    ~ChangeScanner();
    ChangeScanner(const ChangeScanner &) = delete;
    ChangeScanner &operator=(const ChangeScanner &) = delete;

    // Examines frames next() .. last (inclusive), cut to the count the file holds now, and
    // appends their change starts to starts, in order. With stopAtFirst it returns after the
    // first start it finds (next() is then the frame after it). A set cancel returns early, at a
    // frame boundary; whatever was examined stays examined. Returns the number of starts added.
    int32_t scan(int32_t last, std::vector<int32_t> &starts, bool stopAtFirst = false,
                 const CancelFlag *cancel = nullptr);

    // The first frame not yet examined. A file cut below it since (a recording replaced) gives
    // no new starts; a caller that notices the count fall starts a new scanner.
    int32_t next() const { return next_; }

private:
    struct Pieces;
    // Decides the frames of one block of entries; false when it stopped early.
    bool decideBlock(const std::vector<TZVFFrameEntry> &block, int32_t blockFirst,
                     int64_t fileLength, std::vector<int32_t> &starts, bool stopAtFirst,
                     const CancelFlag *cancel, int32_t &added);

    zv::RandomFile &file_;
    int32_t next_;
    bool havePrevious_ = false;  // previous_ holds the entry of frame next_ - 1
    TZVFFrameEntry previous_;
    std::vector<TZVFFrameEntry> entries_;
    std::vector<uint8_t> raw_;
    std::unique_ptr<Pieces> pieces_;
};

// The frames the file holds now: the count made safe (0 for a negative one or a file shorter than
// it, cut to the capacity and to the entries the file holds).
int32_t heldFrames(zv::RandomFile &file);

// The change starts among frames first .. last (inclusive; last cut to the frames held): first
// always, then every frame that differs from the one before it. Empty when first lies beyond.
std::vector<int32_t> findChanges(zv::RandomFile &file, int32_t first, int32_t last,
                                 const CancelFlag *cancel = nullptr);

// The first change start after frame from: nullopt when every frame from there to the end of the
// file equals frame from (or the search was cancelled; cancel then tells which).
std::optional<int32_t> nextChange(zv::RandomFile &file, int32_t from,
                                  const CancelFlag *cancel = nullptr);

// The last change start before frame from (the start of the still run that holds from, or of the
// run before when from starts one): nullopt for from <= 0, a frame the file does not hold, or a
// cancelled search. Searches back in windows that grow from a few hundred frames, so a change
// nearby is found at once.
std::optional<int32_t> previousChange(zv::RandomFile &file, int32_t from,
                                      const CancelFlag *cancel = nullptr);

// An activity profile from sizes alone, for strips under a slider: frame i (i >= 1) counts as
// active when its size differs from the size of frame i - 1. This is an approximation of the
// change starts above: every active frame is a real change (different sizes mean different
// bytes), but a change that keeps the size (the same number of bytes, other pixels: a digit of a
// clock, say) is missed. Frame 0 is never active. It costs one read of the index and no frame.
//
// Fed with the index entries in order, any number at a time, so that it follows a growing
// recording by reading only the new entries. Holds 4 bytes per frame.
class SizeActivity {
public:
    // Drops everything: the next entries fed start at frame 0.
    void clear();
    // Adds the entries of frames frames() .. frames() + count - 1.
    void append(const TZVFFrameEntry *entries, size_t count);
    // Reads the entries of frames frames() .. frameCount - 1 through the frame reader and adds
    // them (in blocks; nothing when frameCount <= frames()). A file that ends early adds what it
    // holds. Throws zv::Error on a read error.
    void update(zv::RandomFile &file, int32_t frameCount);
    // Keeps the activity up to frameCount frames of reader, reading only the entries it lacks;
    // starts over for a file cut below frames() or whose entry frames() - 1 is no longer the one
    // fed (another file copied over it). Raises nothing.
    void follow(const TZVFFormat &reader, int32_t frameCount);
    int32_t frames() const { return static_cast<int32_t>(changesBefore_.size()); }

    // Active frames among first .. last (inclusive, cut to frames()).
    int32_t activeIn(int32_t first, int32_t last) const;
    // A strip of width columns over frames first .. last (cut to frames()): column c stands for
    // frames first + c * n / width up to (not including) first + (c + 1) * n / width, at least
    // one frame, where n = last - first + 1; 1 where any of them is active. All 0 when there
    // are no frames.
    std::vector<uint8_t> columns(int width, int32_t first, int32_t last) const;

private:
    // changesBefore_[i]: active frames among 0 .. i.
    std::vector<int32_t> changesBefore_;
    TZVFFrameEntry last_;
};

}  // namespace zvf
