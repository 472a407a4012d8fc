#include "recorder/DiskGuard.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "recorder/RotatedFiles.h"

namespace fs = std::filesystem;

namespace zv {

namespace {

constexpr int64_t kBytesPerMegabyte = 1'048'576;

std::string megabytes(int64_t bytes) {
    return std::to_string(bytes / kBytesPerMegabyte) + " МБ";
}

// The room a file gives back when deleted: its blocks (a recording is sparse: its index area is
// mostly a hole), at most its length.
int64_t roomOf(const std::string &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    return std::min<int64_t>(int64_t{st.st_blocks} * 512, st.st_size);
}

}  // namespace

DiskGuard::DiskGuard(FreeSpaceSource &freeSpace, RecorderLog log)
    : freeSpace_(freeSpace), log_(std::move(log)) {}

std::optional<int64_t> DiskGuard::measure(const std::string &recording) {
    return freeSpace_.freeBytes(recording);  // measured at the nearest existing folder
}

bool DiskGuard::freeUp(const std::string &recording, int64_t limit, std::optional<int64_t> &free,
                       int64_t &oldFilesGive) {
    // Oldest first: how many of the old files must go to bring the free space above the limit.
    const std::vector<std::string> old = rotatedFiles(recording);
    std::vector<int64_t> room;
    size_t needed = 0;
    oldFilesGive = 0;
    for (const std::string &path : old) {
        room.push_back(roomOf(path));
        oldFilesGive += room.back();
        if (needed == 0 && *free + oldFilesGive > limit)
            needed = room.size();
    }
    if (needed == 0)
        return false;  // even all of them would not make room: keep them all
    for (size_t k = 0; k < needed; ++k) {
        std::error_code ec;
        const bool removed = fs::remove(old[k], ec);
        if (ec && log_)
            log_(LogLevel::Error,
                 "Не удается удалить старый файл \"" + old[k] + "\": " + ec.message());
        if (!removed)
            return false;
        if (log_)
            log_(LogLevel::Info, "Мало места на диске: удален старый файл \"" + old[k] + "\" (" +
                                     std::to_string(room[k]) + " байт)");
        free = measure(recording);
        if (!free || *free > limit)
            return true;
    }
    return false;
}

void DiskGuard::setPaused(bool paused, std::optional<int64_t> free, int64_t limit,
                          int64_t oldFilesGive, bool recursive) {
    if (paused) {
        reason_ = "мало места на диске: свободно " + megabytes(free.value_or(0)) +
                  ", нужно больше " + megabytes(limit);
        if (!recursive)
            reason_ += ", удаление старых файлов выключено";
        else
            reason_ += ", старые файлы освободили бы " + megabytes(oldFilesGive);
    }
    if (paused == paused_)
        return;
    paused_ = paused;
    if (!log_)
        return;
    if (paused)
        log_(LogLevel::Warning, "Запись приостановлена: " + reason_);
    else
        log_(LogLevel::Info, "Запись продолжена: на диске свободно " +
                                 (free ? megabytes(*free) : std::string("?")));
    if (!paused)
        reason_.clear();
}

bool DiskGuard::allows(const std::string &recording, int32_t minMegabytes, bool recursive) {
    const int64_t limit = int64_t{minMegabytes} * kBytesPerMegabyte;
    std::optional<int64_t> free = measure(recording);
    if (!free) {
        // Nothing to go by: write, and let a full disk show itself as a failed write.
        if (!unmeasurable_ && log_)
            log_(LogLevel::Warning, "Не удается узнать свободное место для \"" + recording + "\"");
        unmeasurable_ = true;
        setPaused(false, free, limit, 0, recursive);
        return true;
    }
    unmeasurable_ = false;
    int64_t oldFilesGive = 0;
    const bool allowed =
        *free > limit || (recursive && freeUp(recording, limit, free, oldFilesGive));
    setPaused(!allowed, free, limit, oldFilesGive, recursive);
    return allowed;
}

}  // namespace zv
