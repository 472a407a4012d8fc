#include "platform/File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <locale.h>
#include <clocale>

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

std::string systemErrorReason(int err) {
    // Messages and the character set of one locale, made once and kept for the process: the
    // texts are glibc's own translations, whatever locale the host runs in.
    static const locale_t russian =
        ::newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, "ru_RU.UTF-8", locale_t{});
    static const locale_t english = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    const locale_t chosen = russian ? russian : english;
    return chosen ? ::strerror_l(err, chosen) : std::strerror(err);
}

std::string systemErrorText(const std::string &what, int err) {
    return what + ": " + systemErrorReason(err);
}

std::string notRegularFileReason(unsigned mode) {
    return S_ISDIR(mode) ? systemErrorReason(EISDIR) : "не является обычным файлом";
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

void syncFile(int fd, const std::string &what) {
    int rc;
    do {
        rc = ::fsync(fd);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0)
        throw Error(systemErrorText(what, errno));
}

namespace {

class LocalFile final : public RandomFile {
public:
    explicit LocalFile(UniqueFd fd) : fd_(std::move(fd)) {}
    size_t readAt(void *buffer, size_t size, int64_t offset) override {
        return zv::readAt(fd_.get(), buffer, size, offset);
    }
    void writeAt(const void *buffer, size_t size, int64_t offset) override {
        zv::writeAt(fd_.get(), buffer, size, offset);
    }
    int64_t length() override { return fileLength(fd_.get()); }
    void truncate(int64_t length) override {
        int rc;
        do {
            rc = ::ftruncate(fd_.get(), static_cast<off_t>(length));
        } while (rc != 0 && errno == EINTR);
        if (rc != 0)
            throw Error(systemErrorText("Ошибка записи в файл", errno));
    }
    void sync() override { syncFile(fd_.get(), "Ошибка записи в файл"); }
    void syncData() override {
        int rc;
        do {
            rc = ::fdatasync(fd_.get());
        } while (rc != 0 && errno == EINTR);
        if (rc != 0)
            throw Error(systemErrorText("Ошибка записи в файл", errno));
    }
    FileId id() override {
        struct stat st {};
        if (::fstat(fd_.get(), &st) != 0)
            throw Error(systemErrorText("Ошибка чтения файла", errno));
        return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    }
    int descriptor() const override { return fd_.get(); }
    void adviseSequential() override {
        (void)::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    bool tryLock() override {
        int rc;
        do {
            rc = ::flock(fd_.get(), LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        return rc == 0;
    }

private:
    UniqueFd fd_;
};

class LocalFileSystem final : public FileSystem {
public:
    std::unique_ptr<RandomFile> open(const std::string &nativeFile, OpenMode mode) override {
        int flags = mode == OpenMode::ReadWriteOrCreate ? O_RDWR : O_RDONLY;
        if (mode != OpenMode::Read)
            flags |= O_CREAT;
        // O_CREAT on a read-only open creates a missing file empty and leaves an existing one
        // alone, in one step and without a window in which another process could see a
        // half-made file. O_NONBLOCK keeps a named pipe from blocking the open; anything that is
        // not a regular file is refused before a byte is read.
        UniqueFd fd = openFile(nativeFile, flags | O_NONBLOCK);
        struct stat st {};
        const std::string what = "Не удается открыть файл \"" + nativeFile + "\"";
        if (::fstat(fd.get(), &st) != 0)
            throw Error(systemErrorText(what, errno));
        if (!S_ISREG(st.st_mode))
            throw Error(what + ": " + notRegularFileReason(st.st_mode));
        // Reads and writes of a regular file ignore O_NONBLOCK; it is cleared all the same so
        // that nothing later depends on it.
        (void)::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
        return std::make_unique<LocalFile>(std::move(fd));
    }
    std::optional<FileId> idOf(const std::string &nativeFile) override {
        struct stat st {};
        if (::stat(nativeFile.c_str(), &st) != 0)
            return std::nullopt;
        return FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    }
};

}  // namespace

FileSystem &localFileSystem() {
    static LocalFileSystem files;
    return files;
}

}  // namespace zv
