#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "container/TextIndex.h"
#include "container/TextReading.h"

// Builds and keeps up the text index of a recording (TextIndex.h) from its change starts
// (zvf::ChangeScanner): for each frame that differs from the one before it, both are decoded,
// the regions where they differ (zv::changedRegions) are read by a TextReader, and the lines
// found are stored with the frame. The first frame of the file is read whole; a frame equal to
// the one before it is never decoded or read, so the cost follows what changed on the screen.
//
// When a line leaves. A line L read at change start f stands on the screen until the first later
// change start s where
//   - a changed region of s touches L's box (outside the changed regions s shows the pixels of
//     the frame before it, so an untouched line still stands), and
//   - L's text (search form without blanks) is no longer found at its place: neither inside a
//     line read at s whose box meets L's box, nor, when the changed regions cover only part of
//     L's box, in a new read of L's box (grown by the regions that touch it) at s; the lines of
//     that read then stand for the parts of them that the regions gave.
// s is then L's left frame, unless a line with L's text (search form without blanks) is read at
// s at another place: then L has moved (a list scrolled) and stands on there; its first place
// stays what the index reports. A line read at s that meets a line still standing and whose text
// is that line's text or a part of it (a region that cut the line) is the standing line itself
// and is not stored again. A frame that cannot be decoded is
// counted as failed and reads nothing; the frame after it, compared with nothing, is read whole.
//
// Resuming: the index records how far it has read and which lines still stand; a run goes on
// from there (that frame is compared with the one before it), so an interrupted run followed by
// another gives the same index as one run. Transactions are committed at least every
// commitMs: a kill loses only the frames read since.
namespace zv {

using TextReaderFactory = std::function<std::unique_ptr<TextReader>()>;

struct TextIndexerOptions {
    int threads = 0;          // readers on threads of their own; 0: the cores less one, at least 1
    bool follow = false;      // keep up with a growing recording until cancelled
    bool lowPriority = true;  // the threads run at nice 19 under SCHED_IDLE (the run's own too)
    int pollMs = 1000;        // following: how often the recording is looked at
    int commitMs = 500;       // a transaction is committed at least this often
    bool bands = true;        // read regions by bands, each shape once (TextBands.h); false:
                              // each region whole (for comparing the two in benchmarks)
};

struct TextIndexProgress {
    int32_t indexedFrames = 0;  // frames 0 .. indexedFrames - 1 are in the index (committed)
    int32_t heldFrames = 0;     // frames the recording holds
    int64_t changeStarts = 0;   // change starts read by this run
    int64_t regionsRead = 0;    // regions (bands of them) handed to the readers by this run
    int64_t failedFrames = 0;   // frames of the index that could not be decoded
};

// The number of reading threads for threads = 0: the cores less one, at least one.
int defaultTextThreads();

// One run of indexing over one recording. Construct, set the callbacks, call run() once.
class TextIndexer {
public:
    // nativeRecording: the recording's native path (its index is textIndexPath of it).
    // factory makes one reader per reading thread (and, when a line's place must be read again,
    // one for the run's own thread), called on the thread that uses it.
    TextIndexer(std::string nativeRecording, TextReaderFactory factory,
                TextIndexerOptions options = {});
    ~TextIndexer();
    TextIndexer(const TextIndexer &) = delete;
    TextIndexer &operator=(const TextIndexer &) = delete;

    // Called on run()'s thread after each commit; must return quickly.
    void setProgress(std::function<void(const TextIndexProgress &)> progress);
    // Called on run()'s thread with a warning for the operator (an index set aside and rebuilt).
    void setWarning(std::function<void(const std::string &)> warning);

    // Indexes what the recording holds beyond what is indexed, committing as it goes; with
    // follow, goes on reading what the recording gains until cancel is set, and starts the
    // index over (setting the old one aside) when the recording at the path is replaced or cut
    // below what was indexed. cancel stops it at the next frame; what was committed stays (and
    // the frames read meanwhile are committed before it returns). Blocks the calling thread.
    // Throws zv::Error: the recording cannot be opened or read, the index cannot be written or
    // is being written by another process, a reader failed.
    TextIndexProgress run(const std::atomic<bool> &cancel);

private:
    struct Run;
    std::string recording_;
    TextReaderFactory factory_;
    TextIndexerOptions options_;
    std::function<void(const TextIndexProgress &)> progress_;
    std::function<void(const std::string &)> warning_;
};

}  // namespace zv
