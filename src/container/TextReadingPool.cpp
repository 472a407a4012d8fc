#include "container/TextReadingPool.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <exception>

#include "container/ZVFFrameReader.h"
#include "platform/Error.h"

namespace zv {

void lowerThreadPriority() {
    // Both are per thread on Linux; failures leave the thread as it was.
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
    sched_param param{};
    (void)::sched_setscheduler(0, SCHED_IDLE, &param);
}

TextReadingPool::TextReadingPool(std::string recordingPath, const TextReaderFactory &factory,
                                 int threads, bool lowPriority, bool bands)
    : path_(std::move(recordingPath)), bands_(bands) {
    for (int k = 0; k < std::max(threads, 1); ++k)
        threads_.emplace_back([this, factory, lowPriority] { work(factory, lowPriority); });
}

TextReadingPool::~TextReadingPool() {
    stop_ = true;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    jobAdded_.notify_all();
    for (std::thread &t : threads_)
        t.join();
}

void TextReadingPool::add(int32_t frame) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(frame);
    }
    jobAdded_.notify_one();
}

std::optional<FrameReading> TextReadingPool::take(int32_t frame, const std::atomic<bool> &cancel) {
    std::unique_lock lock(mutex_);
    while (results_.count(frame) == 0) {
        if (cancel)
            return std::nullopt;
        resultAdded_.wait_for(lock, std::chrono::milliseconds(50));
    }
    FrameReading reading = std::move(results_[frame]);
    results_.erase(frame);
    return reading;
}

void TextReadingPool::work(TextReaderFactory factory, bool lowPriority) {
    if (lowPriority)
        lowerThreadPriority();
    std::unique_ptr<TextReader> reader;
    std::unique_ptr<RandomFile> file;
    std::string failure;
    try {
        reader = factory();
        reader->setCancel(&stop_);
        file = localFileSystem().open(path_, FileSystem::OpenMode::Read);
    } catch (const std::exception &e) {
        failure = e.what();
    }
    GifImage previous;
    for (;;) {
        int32_t frame = 0;
        // Jobs left when the pool is being stopped are dropped, not read.
        {
            std::unique_lock lock(mutex_);
            jobAdded_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
            if (stopping_)
                return;
            frame = jobs_.front();
            jobs_.pop_front();
        }
        FrameReading reading;
        reading.frame = frame;
        if (!failure.empty())
            reading.error = failure;
        else
            reading = readFrame(frame, *reader, *file, previous);
        {
            std::lock_guard lock(mutex_);
            results_[frame] = std::move(reading);
        }
        resultAdded_.notify_all();
    }
}

namespace {

// Decodes frame into picture; false when it cannot be read or decoded.
bool decodeFrame(RandomFile &file, int32_t frame, GifImage &picture, std::vector<uint8_t> &bytes) {
    try {
        TZVFFrameEntry entry;
        if (!zvf::readEntry(file, frame, entry))
            return false;
        zvf::readFrameBytes(file, entry, bytes);
        picture.loadFromBytes(bytes.data(), bytes.size());
        return true;
    } catch (const Error &) {
        picture.clear();
        return false;
    }
}

}  // namespace

FrameReading TextReadingPool::readFrame(int32_t frame, TextReader &reader, RandomFile &file,
                                        GifImage &previous) {
    FrameReading reading;
    reading.frame = frame;
    std::vector<uint8_t> bytes;
    if (!decodeFrame(file, frame, reading.picture, bytes)) {
        reading.failed = true;
        return reading;
    }
    const FramePixels current{reading.picture.pixels(), reading.picture.width(),
                              reading.picture.height()};
    const bool havePrevious = frame > 0 && decodeFrame(file, frame - 1, previous, bytes);
    const FramePixels before{havePrevious ? previous.pixels() : nullptr, previous.width(),
                             previous.height()};
    try {
        reading.regions = changedRegions(havePrevious ? &before : nullptr, current);
        for (const TextBox &region : reading.regions)
            for (const TextBand &band :
                 bands_ ? textBands(current, region) : std::vector<TextBand>{{region, 0}}) {
                if (bands_ && cache_.find(band, reading.lines))
                    continue;
                std::vector<TextLine> lines = reader.read(current, band.box);
                if (bands_)
                    cache_.keep(band, lines);
                ++reading.bandsRead;
                for (TextLine &line : lines)
                    reading.lines.push_back(std::move(line));
            }
    } catch (const std::exception &e) {
        reading.error = e.what();
    }
    return reading;
}

}  // namespace zv
