#include "archive/ArchiveVolumes.h"

#include "archive/WideString.h"
#include "platform/File.h"
#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {

std::string nativeName(const std::wstring &name) {
    return zv::nativePath(zv::wideToUtf8(name));
}

}  // namespace

ArchiveVolumeWriter::ArchiveVolumeWriter(std::wstring archiveName, uint32_t volumeSize,
                                         bool appendToSfx)
    : archiveName_(std::move(archiveName)), volumeSize_(volumeSize), appendToSfx_(appendToSfx) {
    ::clock_gettime(CLOCK_REALTIME, &fileDate_);
    if (!openVolume(1)) {
        closeAll();
        throw TSevenZipAbort(
            zv::systemErrorText("Не удалось создать файл архива " + zv::wideToUtf8(archiveName_),
                                lastOSError_),
            lastOSError_);
    }
    if (appendToSfx_) {
        position_ = volumes_.front().Size;
        size_ = position_;
    }
}

ArchiveVolumeWriter::~ArchiveVolumeWriter() {
    closeAll();
}

std::wstring ArchiveVolumeWriter::volumeName(const std::wstring &archiveName, uint32_t volumeSize,
                                             size_t number) {
    if (volumeSize == 0)
        return archiveName;
    char digits[32];
    std::snprintf(digits, sizeof digits, ".%03zu", number);
    return archiveName + zv::utf8ToWide(digits);
}

std::vector<std::wstring> ArchiveVolumeWriter::volumeNames() const {
    std::vector<std::wstring> names;
    names.reserve(volumes_.size());
    for (const TFiles &volume : volumes_)
        names.push_back(volume.Name);
    return names;
}

void ArchiveVolumeWriter::closeAll() {
    for (TFiles &volume : volumes_) {
        if (volume.Handle >= 0)
            ::close(volume.Handle);
        volume.Handle = -1;
    }
}

void ArchiveVolumeWriter::remember(int err) {
    if (lastOSError_ == 0)
        lastOSError_ = err ? err : EIO;
}

bool ArchiveVolumeWriter::openVolume(size_t number) {
    TFiles volume;
    volume.Name = volumeName(archiveName_, volumeSize_, number);
    const std::string file = nativeName(volume.Name);
    const bool append = appendToSfx_ && number == 1;
    const int flags = O_RDWR | O_CLOEXEC | (append ? 0 : O_CREAT | O_TRUNC);
    volume.Handle = ::open(file.c_str(), flags, 0666);
    if (volume.Handle < 0) {
        remember(errno);
        return false;
    }
    // Kept in the list at once, so that a failure below still closes and removes it.
    volumes_.push_back(volume);
    TFiles &opened = volumes_.back();
    if (append) {
        struct stat st {};
        if (::fstat(opened.Handle, &st) != 0) {
            remember(errno);
            return false;
        }
        opened.Size = st.st_size;
    }
    const timespec times[2] = {fileDate_, fileDate_};
    if (::futimens(opened.Handle, times) != 0) {
        remember(errno);
        return false;
    }
    return true;
}

bool ArchiveVolumeWriter::writeAt(TFiles &volume, const char *data, size_t size, int64_t offset) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(volume.Handle, data + done, size - done, offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            remember(n < 0 ? errno : ENOSPC);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (offset + static_cast<int64_t>(size) > volume.Size)
        volume.Size = offset + size;
    return true;
}

uint32_t ArchiveVolumeWriter::write(const void *data, uint32_t size) {
    const char *bytes = static_cast<const char *>(data);
    if (volumeSize_ == 0) {
        if (!writeAt(volumes_.front(), bytes, size, position_))
            return 0;
    } else {
        const int64_t v = volumeSize_;
        const size_t needed = static_cast<size_t>((position_ + size) / v + 1);
        while (volumes_.size() < needed) {
            if (!openVolume(volumes_.size() + 1))
                return 0;
        }
        size_t index = static_cast<size_t>(position_ / v);
        int64_t offset = position_ % v;
        uint32_t left = size;
        while (left > 0) {
            const uint32_t chunk = static_cast<uint32_t>(std::min<int64_t>(left, v - offset));
            if (!writeAt(volumes_[index], bytes, chunk, offset))
                return 0;
            bytes += chunk;
            left -= chunk;
            ++index;
            offset = 0;
        }
    }
    position_ += size;
    if (position_ > size_)
        size_ = position_;
    return size;
}

bool ArchiveVolumeWriter::seek(int64_t offset, uint32_t origin) {
    int64_t base;
    switch (origin) {
        case 0:
            base = 0;
            break;
        case 1:
            base = position_;
            break;
        case 2:
            base = size_;
            break;
        default:
            return true;
    }
    if (offset < -base)
        return false;
    position_ = base + offset;
    if (position_ > size_)
        size_ = position_;
    return true;
}

void removeArchiveFiles(const std::vector<std::wstring> &names) {
    for (const std::wstring &name : names)
        ::unlink(nativeName(name).c_str());
}
