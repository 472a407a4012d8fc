#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

class TZVFFormat;

namespace zv {

// One export run on a thread of its own, so that the thread that started it (the UI thread)
// keeps answering the window system while the export takes minutes.
//
// The frame store is handed over for the run: from start() until finish() has returned no other
// thread may use it (its CancelExport flag excepted). progress() and cancel() may be called from
// any thread.
class ExportRun {
public:
    enum class Phase { Frames, Archive };
    struct Progress {
        Phase phase = Phase::Frames;
        int64_t done = 0;
        int64_t total = 0;
    };
    using Work = std::function<void(TZVFFormat &zvf)>;

    ExportRun(TZVFFormat &zvf, Work work);
    // Cancels a run that was not finished and waits for its thread.
    ~ExportRun();
    ExportRun(const ExportRun &) = delete;
    ExportRun &operator=(const ExportRun &) = delete;

    // Starts the work on its own thread. whenDone is called on that thread as its last act (to
    // wake the starter, which then calls finish()). Throws when no thread can be started.
    void start(std::function<void()> whenDone);
    // Asks the export to stop at the next frame boundary (see TZVFFormat::CancelExport).
    void cancel();
    bool cancelRequested() const { return cancelled_.load(); }
    bool done() const { return done_.load(); }
    // The latest frames done of the total, then the 7z step's bytes of its total.
    Progress progress() const;

    // Waits for the thread, takes the progress hooks off the frame store and rethrows the work's
    // failure. A cancelled export is no failure: it returns normally.
    void finish();

private:
    void report(Phase phase, int64_t done, int64_t total);

    TZVFFormat &zvf_;
    Work work_;
    std::thread thread_;
    std::exception_ptr failure_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> done_{false};
    mutable std::mutex lock_;
    Progress progress_;
};

}  // namespace zv
