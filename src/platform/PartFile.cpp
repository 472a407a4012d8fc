#include "platform/PartFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/Error.h"

namespace zv {

namespace {

constexpr size_t kRandomLetters = 8;
const char kPartSuffix[] = ".part";

struct NameParts {
    std::string folder;  // "." for a bare name
    std::string base;
};

NameParts split(const std::string &path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::string randomLetters() {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[kRandomLetters];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n > 0)
            got += static_cast<size_t>(n);
        else if (errno != EINTR)
            throw Error(systemErrorText("Не удается получить случайное число", errno));
    }
    std::string text;
    for (unsigned char b : bytes)
        text += kLetters[b % (sizeof kLetters - 1)];
    return text;
}

bool isPartName(const std::string &name, const std::string &base) {
    const size_t expected = base.size() + 1 + kRandomLetters + std::strlen(kPartSuffix);
    if (name.size() != expected || name.compare(0, base.size(), base) != 0 ||
        name[base.size()] != '.' || name.compare(expected - 5, 5, kPartSuffix) != 0)
        return false;
    for (size_t i = base.size() + 1; i < base.size() + 1 + kRandomLetters; ++i)
        if (!std::islower(static_cast<unsigned char>(name[i])) &&
            !std::isdigit(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

int openRetrying(const char *path, int flags, unsigned mode) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void syncFolder(const std::string &folder) {
    UniqueFd dir(openRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY, 0));
    if (dir.valid())
        (void)::fsync(dir.get());
}

// Writes all of data at offset; 0, or the system's reason (ENOSPC for a write that stops short).
int writeAll(int fd, const void *data, size_t size, int64_t offset) {
    const auto *bytes = static_cast<const unsigned char *>(data);
    for (size_t done = 0; done < size;) {
        const ssize_t n =
            ::pwrite(fd, bytes + done, size - done, offset + static_cast<off_t>(done));
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n == 0)
            return ENOSPC;
        else if (errno != EINTR)
            return errno;
    }
    return 0;
}

std::string cannotCreate(const std::string &target, int err) {
    return systemErrorText("Не удается открыть файл \"" + target + "\"", err);
}

}  // namespace

PartFile::PartFile(std::string nativeTarget, unsigned mode) : target_(std::move(nativeTarget)) {
    const NameParts parts = split(target_);
    if (parts.base.empty() || parts.base == "." || parts.base == "..")
        throw Error(cannotCreate(target_, EISDIR));
    fd_.reset(openRetrying(parts.folder.c_str(), O_TMPFILE | O_RDWR, mode));
    if (fd_.valid())
        return;
    // File systems without unnamed files answer so; anything else is the folder's own failure.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        throw Error(cannotCreate(target_, errno));
    for (int attempt = 0; attempt < 16 && !fd_.valid(); ++attempt) {
        const std::string name = target_ + "." + randomLetters() + kPartSuffix;
        fd_.reset(openRetrying(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, mode));
        if (fd_.valid())
            named_ = name;
        else if (errno != EEXIST)
            throw Error(cannotCreate(target_, errno));
    }
    if (!fd_.valid())
        throw Error(cannotCreate(target_, EEXIST));
}

PartFile::~PartFile() {
    if (!named_.empty())
        ::unlink(named_.c_str());
}

std::string PartFile::openPath() const {
    return "/proc/self/fd/" + std::to_string(fd_.get());
}

void PartFile::fail(int err, const std::string &text) {
    lastError_ = err;
    throw Error(err ? systemErrorText(text, err) : text);
}

void PartFile::append(const void *data, size_t size) {
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0)
        fail(errno, "Не удается записать файл \"" + target_ + "\"");
    if (const int err = writeAll(fd_.get(), data, size, st.st_size))
        fail(err, "Не удается записать файл \"" + target_ + "\"");
}

void PartFile::commit(bool durable) {
    const std::string cannotWrite = "Не удается записать файл \"" + target_ + "\"";
    int rc = 0;
    while (durable && (rc = ::fsync(fd_.get())) != 0 && errno == EINTR) {
    }
    if (rc != 0)
        fail(errno, cannotWrite);
    std::string linked = named_;
    if (linked.empty()) {
        // An unnamed file gets a name of ours first (link cannot replace), then the target's.
        for (int attempt = 0; attempt < 16 && linked.empty(); ++attempt) {
            const std::string name = target_ + "." + randomLetters() + kPartSuffix;
            // Through /proc (any user may); without /proc, by the descriptor itself (which
            // needs a capability the root user has).
            int rc =
                ::linkat(AT_FDCWD, openPath().c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
            if (rc != 0 && errno == ENOENT)
                rc = ::linkat(fd_.get(), "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
            if (rc == 0)
                linked = name;
            else if (errno != EEXIST)
                fail(errno, cannotWrite);
        }
        if (linked.empty())
            fail(EEXIST, cannotWrite);
    }
    if (::rename(linked.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        ::unlink(linked.c_str());
        named_.clear();
        fail(err, cannotWrite);
    }
    named_.clear();
    if (durable)
        syncFolder(split(target_).folder);
    struct stat placed {
    }, written{};
    if (::stat(target_.c_str(), &placed) != 0 || ::fstat(fd_.get(), &written) != 0 ||
        placed.st_dev != written.st_dev || placed.st_ino != written.st_ino)
        fail(0, "Файл \"" + target_ + "\" удалён или заменён во время записи");
}

void removeStaleParts(const std::string &nativeTarget) {
    const NameParts parts = split(nativeTarget);
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(parts.folder.c_str()), ::closedir);
    if (!dir)
        return;
    const uid_t me = ::geteuid();
    while (const dirent *entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (!isPartName(name, parts.base))
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir.get()), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == me)
            ::unlinkat(::dirfd(dir.get()), name.c_str(), 0);
    }
}

void writeWholeFile(const std::string &nativeFile, const void *data, size_t size, unsigned mode,
                    bool durable) {
    PartFile part(nativeFile, mode);
    part.append(data, size);
    part.commit(durable);
}

std::string targetBusyText(const std::string &nativeTarget) {
    return "Файл \"" + nativeTarget + "\" уже записывается другим экспортом";
}

TargetLock::TargetLock(const std::string &nativeTarget) {
    const NameParts parts = split(nativeTarget);
    struct stat folder {};
    if (::stat(parts.folder.c_str(), &folder) != 0)
        return;
    // FNV-1a of the last component: the socket's name has room for about a hundred bytes.
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : parts.base)
        hash = (hash ^ c) * 0x100000001b3ull;
    char name[96];
    const int length = std::snprintf(name, sizeof name, "%czorvideo-export:%llx:%llx:%016llx", '\0',
                                     static_cast<unsigned long long>(folder.st_dev),
                                     static_cast<unsigned long long>(folder.st_ino),
                                     static_cast<unsigned long long>(hash));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name, static_cast<size_t>(length));
    socket_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket_.valid())
        throw Error(
            systemErrorText("Не удается заблокировать файл \"" + nativeTarget + "\"", errno));
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    if (::bind(socket_.get(), reinterpret_cast<const sockaddr *>(&address), size) == 0)
        return;
    if (errno == EADDRINUSE)
        throw Error(targetBusyText(nativeTarget));
    throw Error(systemErrorText("Не удается заблокировать файл \"" + nativeTarget + "\"", errno));
}

}  // namespace zv
