#include "viewer/FrameDecoder.h"

#include <algorithm>
#include <utility>

namespace zv {

FrameDecoder::FrameDecoder(int workers) : slots_(static_cast<size_t>(std::max(workers, 1)) + 1) {
    for (int i = 0; i < std::max(workers, 1); ++i)
        workers_.emplace_back([this] { run(); });
}

FrameDecoder::~FrameDecoder() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread &worker : workers_)
        worker.join();
}

FrameDecoder::Slot *FrameDecoder::find(uint64_t key) {
    for (Slot &slot : slots_)
        if (slot.state != State::Free && !slot.dropped && slot.key == key)
            return &slot;
    return nullptr;
}

FrameDecoder::Slot *FrameDecoder::vacancy() {
    Slot *oldest = nullptr;
    for (Slot &slot : slots_) {
        if (slot.state == State::Free)
            return &slot;
        if (slot.state != State::Running && (!oldest || slot.order < oldest->order))
            oldest = &slot;
    }
    if (oldest)
        oldest->state = State::Free;
    return oldest;
}

void FrameDecoder::submit(uint64_t key, std::vector<uint8_t> &bytes) {
    {
        std::lock_guard lock(mutex_);
        if (find(key))
            return;
        Slot *slot = vacancy();
        if (!slot)
            return;  // every worker busy with frames still wanted: the owner decodes this one
        slot->state = State::Queued;
        slot->dropped = false;
        slot->key = key;
        slot->order = ++submitted_;
        slot->bytes.swap(bytes);
    }
    wake_.notify_one();
}

bool FrameDecoder::holds(uint64_t key) {
    std::lock_guard lock(mutex_);
    return find(key) != nullptr;
}

FrameDecoder::Outcome FrameDecoder::take(uint64_t key, GifImage &image, Status &failure) {
    std::unique_lock lock(mutex_);
    Slot *slot = find(key);
    if (!slot)
        return Outcome::NotAhead;
    done_.wait(lock, [slot] { return slot->state == State::Done; });
    slot->state = State::Free;
    if (!slot->decoded.ok()) {
        failure = std::move(slot->decoded);
        return Outcome::Failed;
    }
    std::swap(image, slot->image);
    return Outcome::Decoded;
}

void FrameDecoder::drop() {
    std::lock_guard lock(mutex_);
    for (Slot &slot : slots_) {
        if (slot.state == State::Running)
            slot.dropped = true;
        else
            slot.state = State::Free;
    }
}

void FrameDecoder::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        Slot *next = nullptr;
        wake_.wait(lock, [&] {
            // The frame handed in first is the one wanted first.
            next = nullptr;
            for (Slot &slot : slots_)
                if (slot.state == State::Queued && (!next || slot.order < next->order))
                    next = &slot;
            return stop_ || next;
        });
        if (stop_)
            return;
        next->state = State::Running;
        lock.unlock();

        Status decoded =
            statusOf([next] { next->image.loadFromBytes(next->bytes.data(), next->bytes.size()); });

        lock.lock();
        if (next->dropped) {
            next->dropped = false;
            next->state = State::Free;
            continue;
        }
        next->decoded = std::move(decoded);
        next->state = State::Done;
        done_.notify_all();
    }
}

}  // namespace zv
