#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "container/GifImage.h"

namespace zv {

// Decodes GIF bytes into a picture on a worker thread of its own, one frame ahead of the viewer:
// the owner reads the bytes of the frame it will want next (on its own thread, through its own
// reader) and hands them in; when that frame is due it takes the picture, waiting only while the
// decode is still under way. Handing in another frame drops one that has not started; a result
// nobody asks for is replaced by the next. The worker touches no file and no reader.
//
// Buffers go round between the owner and the worker (bytes on submit, pictures on take), so
// decoding ahead allocates nothing once the first frames have been through.
//
// submit, take and drop are called from one thread, the owner's.
class FrameDecoder {
public:
    enum class Outcome {
        NotAhead,  // the frame was not handed in (or was dropped): decode it yourself
        Decoded,   // the picture is in the image passed to take
        Failed,    // the bytes are no picture; the reason is given
    };

    FrameDecoder();
    // Stops the worker after the decode under way, if any, and joins it.
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder &) = delete;
    FrameDecoder &operator=(const FrameDecoder &) = delete;

    // Hands in the bytes of the frame known as key. bytes receives a buffer back for the next
    // read; its content is unspecified.
    void submit(uint64_t key, std::vector<uint8_t> &bytes);

    // The frame known as key, if it was handed in and not dropped: waits for its decode, then
    // either swaps the picture into image (whose old buffers go to the worker for reuse) or gives
    // the decoder's reason in failure and leaves image alone.
    Outcome take(uint64_t key, GifImage &image, std::string &failure);

    // Forgets every frame handed in; a decode under way ends unseen.
    void drop();

    // True while key is handed in and neither taken nor dropped.
    bool holds(uint64_t key);

private:
    void run();
    // Under the lock: key is queued, under way or done, and not dropped.
    bool holdsLocked(uint64_t key) const;

    std::mutex mutex_;
    std::condition_variable wake_;  // the worker waits for a job or the stop
    std::condition_variable done_;  // the owner waits for a result
    bool stop_ = false;
    uint64_t epoch_ = 0;  // counts drops; work of an older epoch is not delivered

    bool queued_ = false;  // a job handed in, not started
    uint64_t queuedKey_ = 0;
    std::vector<uint8_t> queuedBytes_;

    bool running_ = false;  // a job under way
    uint64_t runningKey_ = 0;

    bool ready_ = false;  // the last result, not yet taken
    uint64_t readyKey_ = 0;
    bool readyDecoded_ = false;
    std::string readyFailure_;
    GifImage readyImage_;

    std::thread worker_;  // last: started once the members it uses exist
};

}  // namespace zv
