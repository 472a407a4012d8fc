#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/File.h"

namespace zv {

// Makes frames count in a recording once they are on the disk: after the writer has put frames'
// bytes and entries into the file (written(n): n frames in all), it syncs the file's data and
// only then writes n as the count. A sync takes milliseconds of waiting for the disk, so for a
// file of the machine's own (one with a descriptor) it runs on a thread of its own and the
// recording goes on meanwhile; frames written during a sync are counted by the next one. Files
// in memory (tests) are committed at once, in the caller's thread.
//
// The file must outlive the committer; its reads and writes from the two threads are
// positioned (pread, pwrite, fdatasync), which the system allows at once.
class CountCommitter {
public:
    // committed: the count the file holds now.
    CountCommitter(RandomFile &file, int32_t committed);
    // Commits what is written (errors are dropped: the frames then stay uncounted).
    ~CountCommitter();
    CountCommitter(const CountCommitter &) = delete;
    CountCommitter &operator=(const CountCommitter &) = delete;

    // n frames are now written in all (n only grows). Throws zv::Error when committing inline
    // fails.
    void written(int32_t n);
    // Waits until everything written is counted. Throws zv::Error with the reason of a commit
    // that failed (frames written before it then stay uncounted).
    void flush();
    // The reason of a commit that failed, once; empty when none did.
    std::string takeFailure();
    // The count last written to the file.
    int32_t committed();

private:
    void commit(int32_t n);
    void run();

    RandomFile &file_;
    const bool threaded_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int32_t written_;
    int32_t committed_;
    bool busy_ = false;
    bool stop_ = false;
    std::string failure_;
    std::thread thread_;
};

}  // namespace zv
