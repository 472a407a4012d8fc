#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zv {

// A POSIX file descriptor that closes itself. Move-only; close never throws.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : fd_(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd();

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// Opens a file with O_CLOEXEC; throws zv::Error naming the file and the system's reason.
// The path is native (already mapped).
UniqueFd openFile(const std::string &nativeFile, int flags, unsigned mode = 0644);

// Reads up to size bytes at offset, retrying short reads and EINTR; returns the bytes read, fewer
// only at the end of the file. Throws zv::Error on a read error.
size_t readAt(int fd, void *buffer, size_t size, int64_t offset);

// Writes all size bytes at offset or throws zv::Error (a full disk included).
void writeAt(int fd, const void *buffer, size_t size, int64_t offset);

// Current length of the open file; throws zv::Error.
int64_t fileLength(int fd);

// "<what>: <strerror(err)>", the text of the errors above.
std::string systemErrorText(const std::string &what, int err);

}  // namespace zv
