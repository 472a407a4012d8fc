#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "container/GifImage.h"
#include "container/TextBands.h"
#include "container/TextIndexer.h"

// The reading threads of the text indexer (TextIndexer.h): each takes change starts in order,
// decodes the frame and the one before it, finds the changed regions and reads their bands that
// were not read before (TextBands.h) with a reader of its own. Results are collected by frame; the
// indexer takes them in frame order.
namespace zv {

struct FrameReading {
    int32_t frame = 0;
    bool failed = false;           // the frame could not be read or decoded
    std::string error;             // a reader's failure: the run fails with it
    std::vector<TextBox> regions;  // where it differs from the frame before it
    std::vector<TextLine> lines;
    int bandsRead = 0;  // bands of the regions handed to the reader (TextBands.h)
    GifImage picture;   // the frame decoded, for reading a line's place again
};

class TextReadingPool {
public:
    // recordingPath: what each thread opens to read frames (the same file as the indexer's);
    // threads readers made by factory on their threads.
    // bands: read the bands of each region not read before (TextBands.h), else each region
    // whole.
    TextReadingPool(std::string recordingPath, const TextReaderFactory &factory, int threads,
                    bool lowPriority, bool bands = true);
    ~TextReadingPool();
    TextReadingPool(const TextReadingPool &) = delete;
    TextReadingPool &operator=(const TextReadingPool &) = delete;

    void add(int32_t frame);
    // The reading of frame (added before), waiting for it; nullopt when cancel was set first.
    std::optional<FrameReading> take(int32_t frame, const std::atomic<bool> &cancel);

private:
    void work(TextReaderFactory factory, bool lowPriority);
    FrameReading readFrame(int32_t frame, TextReader &reader, RandomFile &file, GifImage &previous);

    std::string path_;
    bool bands_;
    std::mutex mutex_;
    std::condition_variable jobAdded_, resultAdded_;
    std::deque<int32_t> jobs_;
    std::map<int32_t, FrameReading> results_;
    TextBandCache cache_;
    bool stopping_ = false;
    // Set first when the pool is stopped: the readers give up a read under way (setCancel).
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

// Lowers the calling thread to nice 19 under SCHED_IDLE (where the system allows): it then runs
// only on processor time nothing else wants.
void lowerThreadPriority();

}  // namespace zv
