#include "recorder/CountCommitter.h"

#include "container/ZVFConstants.h"
#include "platform/Error.h"

namespace zv {

CountCommitter::CountCommitter(RandomFile &file, int32_t committed)
    : file_(file), threaded_(file.descriptor() >= 0), written_(committed), committed_(committed) {
    if (threaded_)
        thread_ = std::thread([this] { run(); });
}

CountCommitter::~CountCommitter() {
    if (!threaded_)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void CountCommitter::commit(int32_t n) {
    // The frames' bytes and entries first reach the disk; only then may the count cover them.
    file_.syncData();
    uint8_t bytes[zvf::kCountSize];
    zvf::encodeCount(bytes, n);
    file_.writeAt(bytes, sizeof bytes, zvf::kCountPosition);
}

void CountCommitter::written(int32_t n) {
    if (!threaded_) {
        written_ = n;
        commit(n);
        committed_ = n;
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        written_ = n;
    }
    changed_.notify_all();
}

void CountCommitter::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || written_ > committed_; });
        if (written_ <= committed_)
            return;  // stopped with nothing left
        const int32_t target = written_;
        busy_ = true;
        lock.unlock();
        std::string failure;
        try {
            commit(target);
        } catch (const std::exception &e) {
            failure = e.what();
        }
        lock.lock();
        busy_ = false;
        if (failure.empty())
            committed_ = target;
        else {
            failure_ = failure;
            written_ = committed_;  // those frames stay uncounted; the writer opens anew
        }
        changed_.notify_all();
        if (stop_ && !failure.empty())
            return;
    }
}

void CountCommitter::flush() {
    if (threaded_) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock,
                      [this] { return (written_ <= committed_ && !busy_) || !failure_.empty(); });
    }
    const std::string failure = takeFailure();
    if (!failure.empty())
        throw Error(failure);
}

std::string CountCommitter::takeFailure() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string failure = std::move(failure_);
    failure_.clear();
    return failure;
}

int32_t CountCommitter::committed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return committed_;
}

}  // namespace zv
