#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
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

// fsync; throws zv::Error with what and the system's reason.
void syncFile(int fd, const std::string &what);

// The system's text of an errno value in Russian, as the windows speak (glibc's messages of the
// ru_RU.UTF-8 locale); the English text where that locale is not installed.
std::string systemErrorReason(int err);

// "<what>: <systemErrorReason(err)>", the text of the errors above.
std::string systemErrorText(const std::string &what, int err);

// Why a file of the given st_mode is refused where a regular file is wanted: the system's text
// for a folder, else "не является обычным файлом" (a named pipe, a device, a socket).
std::string notRegularFileReason(unsigned mode);

// ---------------------------------------------------------------------------------------------
// The file seam of the recording code: the frame store, the range export, the check and the
// appender reach files only through a FileSystem handed to them. localFileSystem() is the real
// one; the tests' MemoryFileSystem keeps files in memory for tests and fuzzing.

// Tells two opens of one file apart from opens of two files, whatever names led to them.
struct FileId {
    uint64_t device = 0;
    uint64_t inode = 0;
    friend bool operator==(const FileId &, const FileId &) = default;
};

// One open regular file: positioned reads and writes, no shared position. Errors are zv::Error
// with the texts of the free functions above. Not thread-safe.
class RandomFile {
public:
    virtual ~RandomFile() = default;
    // Up to size bytes at offset; fewer only at the end of the file.
    virtual size_t readAt(void *buffer, size_t size, int64_t offset) = 0;
    // All size bytes at offset, growing the file as needed.
    virtual void writeAt(const void *buffer, size_t size, int64_t offset) = 0;
    virtual int64_t length() = 0;
    // Sets the length to length bytes: what lies beyond is gone (a file rewritten in place loses
    // the tail of its older, longer self).
    virtual void truncate(int64_t length) = 0;
    // What was written reaches stable storage before this returns.
    virtual void sync() = 0;
    // The written bytes (and the length they need) reach stable storage; other metadata such as
    // times may follow later. Cheaper than sync() where the system tells them apart.
    virtual void syncData() { sync(); }
    virtual FileId id() = 0;
    // The descriptor, for kernel copies between two local files; -1 for a file in memory.
    virtual int descriptor() const { return -1; }
    // A hint that the file will now be read front to back.
    virtual void adviseSequential() {}
    // Takes the file's exclusive lock (flock) for as long as it stays open here; false at once
    // when another open of the file (in any process) holds it. Files in memory have none.
    virtual bool tryLock() { return true; }
};

class FileSystem {
public:
    enum class OpenMode {
        Read,              // an existing file, read only
        ReadOrCreate,      // read only; a missing file is created empty first
        ReadWriteOrCreate  // read and write; a missing file is created empty first
    };
    virtual ~FileSystem() = default;
    // Opens a native path. Missing folders are not created. Anything but a regular file (a folder,
    // a named pipe, a device) is refused without blocking. Throws zv::Error
    // "Не удается открыть файл \"<path>\": <reason>".
    virtual std::unique_ptr<RandomFile> open(const std::string &nativeFile, OpenMode mode) = 0;
    // The identity of the file a path names (links followed); nullopt when there is none.
    virtual std::optional<FileId> idOf(const std::string &nativeFile) = 0;
};

// The machine's own files. One instance for the process; stateless, so sharing it is safe.
FileSystem &localFileSystem();

}  // namespace zv
