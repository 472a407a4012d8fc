#include "viewer/FrameDecoder.h"

#include <exception>
#include <new>
#include <utility>

namespace zv {

FrameDecoder::FrameDecoder() : worker_([this] { run(); }) {}

FrameDecoder::~FrameDecoder() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void FrameDecoder::submit(uint64_t key, std::vector<uint8_t> &bytes) {
    {
        std::lock_guard lock(mutex_);
        queued_ = true;
        queuedKey_ = key;
        queuedBytes_.swap(bytes);
    }
    wake_.notify_one();
}

bool FrameDecoder::holdsLocked(uint64_t key) const {
    return (queued_ && queuedKey_ == key) || (running_ && runningKey_ == key) ||
           (ready_ && readyKey_ == key);
}

bool FrameDecoder::holds(uint64_t key) {
    std::lock_guard lock(mutex_);
    return holdsLocked(key);
}

FrameDecoder::Outcome FrameDecoder::take(uint64_t key, GifImage &image, std::string &failure) {
    std::unique_lock lock(mutex_);
    if (!holdsLocked(key))
        return Outcome::NotAhead;
    done_.wait(lock, [&] { return ready_ && readyKey_ == key; });
    ready_ = false;
    if (!readyDecoded_) {
        failure = std::move(readyFailure_);
        return Outcome::Failed;
    }
    std::swap(image, readyImage_);
    return Outcome::Decoded;
}

void FrameDecoder::drop() {
    std::lock_guard lock(mutex_);
    ++epoch_;
    queued_ = false;
    running_ = false;  // its result will not be delivered
    ready_ = false;
}

void FrameDecoder::run() {
    GifImage work;
    std::vector<uint8_t> bytes;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || queued_; });
        if (stop_)
            return;
        const uint64_t key = queuedKey_;
        const uint64_t epoch = epoch_;
        bytes.swap(queuedBytes_);
        queued_ = false;
        running_ = true;
        runningKey_ = key;
        lock.unlock();

        bool decoded = false;
        std::string failure;
        try {
            work.loadFromBytes(bytes.data(), bytes.size());
            decoded = true;
        } catch (const std::bad_alloc &) {
            failure = "Недостаточно памяти";
        } catch (const std::exception &e) {
            failure = e.what();
        }

        lock.lock();
        if (epoch != epoch_ || !running_ || runningKey_ != key)
            continue;  // dropped meanwhile
        running_ = false;
        ready_ = true;
        readyKey_ = key;
        readyDecoded_ = decoded;
        readyFailure_ = std::move(failure);
        if (decoded)
            std::swap(work, readyImage_);
        done_.notify_all();
    }
}

}  // namespace zv
