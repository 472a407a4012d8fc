#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/File.h"

// Appends frames to a ZVF file in the recorder's writing order: the frame's bytes at
// 10,000,000 + offset (offset = end of the last frame, or 0 for the first), then its index entry,
// then the count. A reader that opens the file at any moment sees only complete frames.
//
// Used by the sample recordings, the tests and the recorder stand-in; the module itself never
// writes a live recording. Not thread-safe; one appender per file at a time.
class ZVFAppender {
public:
    // fileName as the operator sees it (a drive path is mapped). Opens the file read-write and
    // creates it when missing (missing folders are not created) through files, which must
    // outlive the appender. Throws zv::Error.
    explicit ZVFAppender(const std::string &fileName,
                         zv::FileSystem &files = zv::localFileSystem());

    // Appends one frame of size bytes taken at dateTime. The count and the last entry are read
    // from the file on every call, so appending to an existing recording continues it. Throws
    // zv::Error for an empty or oversized frame, a full file (499,900 frames), a damaged count,
    // a last entry that names no readable frame (zvf::frameFault), or a write error; a failed
    // append leaves the count as it was.
    void append(const void *gif, size_t size, double dateTime);

    // The count now in the file (0 for a file shorter than the count).
    int32_t frameCount() const;

private:
    std::unique_ptr<zv::RandomFile> file_;
};
