#include "recorder/DiskGuard.h"

#include <filesystem>
#include <system_error>

#include "recorder/RotatedFiles.h"

namespace fs = std::filesystem;

namespace zv {

namespace {

constexpr int64_t kBytesPerMegabyte = 1'048'576;
constexpr uint64_t kMeasureEveryMs = 1000;

std::string megabytes(int64_t bytes) {
    return std::to_string(bytes / kBytesPerMegabyte) + " МБ";
}

}  // namespace

DiskGuard::DiskGuard(FreeSpaceSource &freeSpace, RecorderLog log)
    : freeSpace_(freeSpace), log_(std::move(log)) {}

std::optional<int64_t> DiskGuard::measure(const std::string &recording) {
    return freeSpace_.freeBytes(recording);  // measured at the nearest existing folder
}

bool DiskGuard::freeUp(const std::string &recording, int64_t limit, std::optional<int64_t> &free) {
    for (const std::string &old : rotatedFiles(recording)) {
        std::error_code ec;
        const auto size = fs::file_size(old, ec);
        const bool removed = fs::remove(old, ec);
        if (ec && log_)
            log_(LogLevel::Error,
                 "Не удается удалить старый файл \"" + old + "\": " + ec.message());
        if (!removed)
            continue;
        if (log_)
            log_(LogLevel::Info, "Мало места на диске: удален старый файл \"" + old + "\" (" +
                                     std::to_string(size) + " байт)");
        free = measure(recording);
        if (!free || *free > limit)
            return true;
    }
    return false;
}

void DiskGuard::setPaused(bool paused, std::optional<int64_t> free, int64_t limit) {
    if (paused == paused_)
        return;
    paused_ = paused;
    if (!log_)
        return;
    if (paused)
        log_(LogLevel::Warning, "Запись приостановлена: на диске свободно " +
                                    megabytes(free.value_or(0)) + ", нужно больше " +
                                    megabytes(limit));
    else
        log_(LogLevel::Info, "Запись продолжена: на диске свободно " +
                                 (free ? megabytes(*free) : std::string("?")));
}

bool DiskGuard::allows(const std::string &recording, int32_t minMegabytes, bool recursive,
                       uint64_t nowMs) {
    if (measured_ && nowMs - lastMeasureMs_ < kMeasureEveryMs)
        return allowed_;
    measured_ = true;
    lastMeasureMs_ = nowMs;
    const int64_t limit = int64_t{minMegabytes} * kBytesPerMegabyte;
    std::optional<int64_t> free = measure(recording);
    if (!free) {
        // Nothing to go by: write, and let a full disk show itself as a failed write.
        if (!unmeasurable_ && log_)
            log_(LogLevel::Warning, "Не удается узнать свободное место для \"" + recording + "\"");
        unmeasurable_ = true;
        setPaused(false, free, limit);
        return allowed_ = true;
    }
    unmeasurable_ = false;
    allowed_ = *free > limit || (recursive && freeUp(recording, limit, free));
    setPaused(!allowed_, free, limit);
    return allowed_;
}

}  // namespace zv
