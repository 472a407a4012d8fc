#include "platform/FileWatch.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace zv {

namespace {

constexpr uint32_t kFileEvents =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_ATTRIB;
constexpr uint32_t kFolderGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

}  // namespace

FileWatch::FileWatch(std::string nativeFile) : file_(std::move(nativeFile)) {
    const std::filesystem::path path(file_);
    folder_ = path.has_parent_path() ? path.parent_path().string() : ".";
    name_ = path.filename().string();
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    watchFolder();
    last_ = signature();
}

FileWatch::~FileWatch() {
    if (inotify_ >= 0)
        ::close(inotify_);
}

void FileWatch::watchFolder() {
    if (inotify_ < 0 || watch_ >= 0)
        return;
    watch_ = inotify_add_watch(inotify_, folder_.c_str(),
                               kFileEvents | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
}

bool FileWatch::drainNotices() {
    if (inotify_ < 0)
        return false;
    bool touched = false;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(inotify_, buffer, sizeof buffer);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            break;
        }
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->len > 0 && name_ == event->name)
                touched = true;
            if ((event->mask & kFolderGone) && event->wd == watch_) {
                // A moved folder would be followed to its new place: watch the path anew.
                if (event->mask & IN_MOVE_SELF)
                    inotify_rm_watch(inotify_, watch_);
                watch_ = -1;
                touched = true;
            }
            if (event->mask & IN_Q_OVERFLOW)
                touched = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return touched;
}

std::string FileWatch::signature() const {
    struct stat st {};
    if (::stat(file_.c_str(), &st) != 0)
        return "missing " + std::to_string(errno);
    char text[160];
    std::snprintf(text, sizeof text, "%llu %llu %lld %lld.%09ld %lld.%09ld %o",
                  static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino), static_cast<long long>(st.st_size),
                  static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec,
                  static_cast<long long>(st.st_ctim.tv_sec), st.st_ctim.tv_nsec,
                  static_cast<unsigned>(st.st_mode));
    return text;
}

bool FileWatch::changed() {
    bool touched = drainNotices();
    watchFolder();
    std::string now = signature();
    if (now != last_)
        touched = true;
    last_ = std::move(now);
    return touched;
}

}  // namespace zv
