#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Error.h"

namespace zv {

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept {
    if (this != &other)
        reset(other.release());
    return *this;
}

UniqueFd::~UniqueFd() {
    reset();
}

int UniqueFd::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

std::string systemErrorText(const std::string &what, int err) {
    return what + ": " + std::strerror(err);
}

UniqueFd openFile(const std::string &nativeFile, int flags, unsigned mode) {
    int fd;
    do {
        fd = ::open(nativeFile.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw Error(systemErrorText("Не удается открыть файл \"" + nativeFile + "\"", errno));
    return UniqueFd(fd);
}

size_t readAt(int fd, void *buffer, size_t size, int64_t offset) {
    auto *out = static_cast<unsigned char *>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw Error(systemErrorText("Ошибка чтения файла", errno));
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void writeAt(int fd, const void *buffer, size_t size, int64_t offset) {
    auto *in = static_cast<const unsigned char *>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(fd, in + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw Error(systemErrorText("Ошибка записи в файл", errno));
        }
        if (n == 0)
            throw Error(systemErrorText("Ошибка записи в файл", ENOSPC));
        done += static_cast<size_t>(n);
    }
}

int64_t fileLength(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw Error(systemErrorText("Ошибка чтения файла", errno));
    return static_cast<int64_t>(st.st_size);
}

}  // namespace zv
