#pragma once

#include <cstddef>
#include <string>

#include "platform/File.h"

namespace zv {

// A file being written in place of a target, put under the target's name only when it is complete,
// so that nobody ever sees half of it under that name and no link planted under any name redirects
// it.
//
// It is created in the target's folder without a name (O_TMPFILE) where the file system allows:
// a kill then leaves nothing behind. Elsewhere it gets a name no other writer can take,
// "<target>.<8 random letters>.part", created with O_EXCL | O_NOFOLLOW (a link planted under it
// fails the create instead of being followed); removeStaleParts clears such names left by a kill.
// commit() puts it in place with rename, which replaces a file or a link of the target's name and
// never writes through a link. Paths are native. Not thread-safe.
class PartFile {
public:
    // Throws zv::Error "Не удается открыть файл \"<target>\": <reason>" (the folder is missing or
    // not writable, ...). mode: the permissions of the finished file, before the umask.
    explicit PartFile(std::string nativeTarget, unsigned mode = 0666);
    // Removes a part that was not committed.
    ~PartFile();
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;

    int descriptor() const { return fd_.get(); }
    // A name that opens this very file, for libraries that open their output by name (FFmpeg's
    // muxer, 7-Zip's archive writer): "/proc/self/fd/<descriptor>". Opening it follows no name in
    // the target's folder.
    std::string openPath() const;

    // Writes all of data at the end of what was written so far. Throws zv::Error naming the
    // target with the system's reason (a full disk).
    void append(const void *data, size_t size);

    // Syncs the data, puts the file under the target's name (replacing whatever had that name),
    // syncs the folder, and checks that the name now leads to this file: a folder removed or
    // renamed meanwhile fails with the system's reason or "Файл \"<target>\" удалён или заменён во
    // время записи". Without durable the two syncs are left out (many small files, each of which
    // can be made again: the pictures of an export). Throws zv::Error; the part is gone afterwards
    // either way.
    void commit(bool durable = true);

    const std::string &target() const { return target_; }
    // The system's reason of the last failure of append or commit (an errno value); 0 when the
    // failure had none (the name was replaced meanwhile).
    int lastError() const { return lastError_; }

private:
    [[noreturn]] void fail(int err, const std::string &text);

    std::string target_;
    std::string named_;  // the part's own name when it has one; empty when unnamed or committed
    UniqueFd fd_;
    int lastError_ = 0;
};

// Removes the part files of nativeTarget's naming that a killed writer left behind: regular files
// "<target>.<8 letters>.part" of the target's folder owned by this user. Call only while no other
// writer of the same target can run (its TargetLock held). Failures are passed over.
void removeStaleParts(const std::string &nativeTarget);

// Writes bytes as a new file under nativeFile through a PartFile (nothing half written stays, no
// planted link is followed; a file of that name is replaced). Throws zv::Error with the texts of
// PartFile ("Не удается записать файл \"<nativeFile>\": <reason>" for a full disk).
void writeWholeFile(const std::string &nativeFile, const void *data, size_t size,
                    unsigned mode = 0666, bool durable = true);

// An exclusive claim on a target name for as long as the object lives, held by the machine's
// kernel (an abstract local socket named after the folder's device and inode and the last
// component) and released however the process ends, so no lock file is ever left. A second claim
// on the same name, in this process or another, fails at once with zv::Error "Файл \"<target>\"
// уже записывается другим экспортом". A target whose folder does not exist is not claimed (its
// writer fails on its own).
class TargetLock {
public:
    explicit TargetLock(const std::string &nativeTarget);
    TargetLock(TargetLock &&) = default;
    TargetLock &operator=(TargetLock &&) = default;

private:
    UniqueFd socket_;
};

// Text of a target that another export is writing (the file itself locked, or its name claimed).
std::string targetBusyText(const std::string &nativeTarget);

}  // namespace zv
