#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "container/GifImage.h"
#include "platform/Status.h"

namespace zv {

// Decodes GIF bytes into pictures on worker threads of its own, a few frames ahead of the viewer:
// the owner reads the bytes of the frames it will want next (on its own thread, through its own
// reader) and hands them in; when a frame is due it takes the picture, waiting only while that
// decode is still under way. The workers touch no file and no reader.
//
// It holds at most capacity() frames (handed in, under way or done). Handing in one more drops the
// oldest that is not under way; a frame handed in and never asked for is dropped that way or by
// drop(). Every slot keeps its buffers, and buffers go round between the owner and the slots
// (bytes on submit, pictures on take), so decoding ahead allocates nothing once the first frames
// have been through, however long the playback.
//
// submit, take, holds and drop are called from one thread, the owner's.
class FrameDecoder {
public:
    enum class Outcome {
        NotAhead,  // the frame was not handed in (or was dropped): decode it yourself
        Decoded,   // the picture is in the image passed to take
        Failed,    // the bytes are no picture; the reason is given
    };

    // workers threads (at least 1), workers + 1 slots.
    explicit FrameDecoder(int workers = 2);
    // Stops the workers after the decodes under way, if any, and joins them.
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder &) = delete;
    FrameDecoder &operator=(const FrameDecoder &) = delete;

    int capacity() const { return static_cast<int>(slots_.size()); }

    // Hands in the bytes of the frame known as key (a key already held is left as it is). bytes
    // receives a buffer back for the next read; its content is unspecified.
    void submit(uint64_t key, std::vector<uint8_t> &bytes);

    // The frame known as key, if it is held: waits for its decode, then either swaps the picture
    // into image (whose old buffers stay for reuse) or gives the decoder's failure in failure and
    // leaves image alone. The frame is no longer held afterwards.
    Outcome take(uint64_t key, GifImage &image, Status &failure);

    // True while key is handed in and neither taken nor dropped.
    bool holds(uint64_t key);

    // Forgets every frame handed in; decodes under way end unseen.
    void drop();

private:
    enum class State { Free, Queued, Running, Done };
    struct Slot {
        State state = State::Free;
        bool dropped = false;  // under way, but nobody will take it
        uint64_t key = 0;
        uint64_t order = 0;  // when it was handed in
        std::vector<uint8_t> bytes;
        GifImage image;
        Status decoded;  // what the decode came to
    };

    void run();
    // Under the lock: the slot holding key for the owner, or null.
    Slot *find(uint64_t key);
    // Under the lock: a slot to hand a frame into, freeing the oldest not under way if need be;
    // null when every slot is under way.
    Slot *vacancy();

    std::mutex mutex_;
    std::condition_variable wake_;  // workers wait for a queued frame or the stop
    std::condition_variable done_;  // the owner waits for a result
    bool stop_ = false;
    uint64_t submitted_ = 0;
    std::vector<Slot> slots_;
    std::vector<std::thread> workers_;  // last: started once the slots exist
};

}  // namespace zv
