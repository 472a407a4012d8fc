#pragma once

#include "platform/Error.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// One archive volume (or source file) of a stream adapter.
struct TFiles {
    std::wstring Name;
    int Handle = -1;  // file descriptor; -1 = not open
    int64_t Size = 0;
    bool OnRemovableDrive = false;
};
using TArrayOfFiles = std::vector<TFiles>;

// The first volume of an archive could not be created, opened or dated. It leaves AddFiles; it
// is the component's "silent abort", which callers that follow the original quietly ignore.
class TSevenZipAbort : public zv::Error {
public:
    TSevenZipAbort(const std::string &what, int osError) : zv::Error(what), OSError(osError) {}
    int OSError;  // errno of the failure
};

// The archive file(s) the library writes through the output stream: one file, or numbered
// volumes "name.001", "name.002", … of volumeSize bytes each. A volume is created (truncated)
// when the written position first reaches it; a write that ends exactly on a volume boundary
// also creates the next, still empty, volume. Not thread-safe: the library writes from one
// thread at a time.
class ArchiveVolumeWriter {
public:
    // Creates the first volume at once (throws TSevenZipAbort when it cannot be created or
    // dated). With appendToSfx the first volume is the existing file archiveName (a copied
    // self-extracting stub), opened without truncation, and writing starts at its end.
    ArchiveVolumeWriter(std::wstring archiveName, uint32_t volumeSize, bool appendToSfx);
    ~ArchiveVolumeWriter();
    ArchiveVolumeWriter(const ArchiveVolumeWriter &) = delete;
    ArchiveVolumeWriter &operator=(const ArchiveVolumeWriter &) = delete;

    // Writes size bytes at the position and moves it on; returns the bytes written: size, or 0
    // when a volume could not be created or written (the error is remembered, nothing is
    // counted for the call).
    uint32_t write(const void *data, uint32_t size);
    // origin 0 = start, 1 = current, 2 = size; another origin keeps the position. False (and the
    // position unchanged) when the result would be negative.
    bool seek(int64_t offset, uint32_t origin);

    int64_t position() const { return position_; }
    // The highest position reached.
    int64_t size() const { return size_; }
    // errno of the first failure; 0 while none happened.
    int lastOSError() const { return lastOSError_; }
    const TArrayOfFiles &volumes() const { return volumes_; }
    std::vector<std::wstring> volumeNames() const;

    // "x.7z" for volume 1 of a single-file archive, else "x.7z.001", "x.7z.002", …, "x.7z.1000".
    static std::wstring volumeName(const std::wstring &archiveName, uint32_t volumeSize,
                                   size_t number);

    void closeAll();

private:
    bool openVolume(size_t number);  // 1-based; false with lastOSError_ set
    bool writeAt(TFiles &volume, const char *data, size_t size, int64_t offset);
    void remember(int err);

    std::wstring archiveName_;
    uint32_t volumeSize_;
    bool appendToSfx_;
    timespec fileDate_{};
    int64_t position_ = 0;
    int64_t size_ = 0;
    int lastOSError_ = 0;
    TArrayOfFiles volumes_;
};

// Removes the given archive files; missing ones are ignored.
void removeArchiveFiles(const std::vector<std::wstring> &names);
