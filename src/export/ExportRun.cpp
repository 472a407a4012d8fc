#include "export/ExportRun.h"

#include <utility>

#include "container/ZVFformatUnit.h"

namespace zv {

ExportRun::ExportRun(TZVFFormat &zvf, Work work) : zvf_(zvf), work_(std::move(work)) {}

ExportRun::~ExportRun() {
    if (thread_.joinable()) {
        cancel();
        thread_.join();
    }
}

void ExportRun::start(std::function<void()> whenDone) {
    zvf_.CancelExport = false;
    zvf_.OnExportFrames = [this](int64_t done, int64_t total) {
        report(Phase::Frames, done, total);
    };
    zvf_.OnArchiveProgress = [this](int64_t done, int64_t total) {
        report(Phase::Archive, done, total);
    };
    try {
        thread_ = std::thread([this, whenDone = std::move(whenDone)] {
            try {
                work_(zvf_);
            } catch (...) {
                failure_ = std::current_exception();
            }
            done_ = true;
            if (whenDone)
                whenDone();
        });
    } catch (...) {
        zvf_.OnExportFrames = nullptr;
        zvf_.OnArchiveProgress = nullptr;
        throw;
    }
}

void ExportRun::cancel() {
    cancelled_ = true;
    zvf_.CancelExport = true;
}

ExportRun::Progress ExportRun::progress() const {
    std::lock_guard<std::mutex> guard(lock_);
    return progress_;
}

void ExportRun::report(Phase phase, int64_t done, int64_t total) {
    std::lock_guard<std::mutex> guard(lock_);
    progress_ = Progress{phase, done, total};
}

void ExportRun::finish() {
    if (thread_.joinable())
        thread_.join();
    zvf_.OnExportFrames = nullptr;
    zvf_.OnArchiveProgress = nullptr;
    if (failure_)
        std::rethrow_exception(std::exchange(failure_, nullptr));
}

}  // namespace zv
