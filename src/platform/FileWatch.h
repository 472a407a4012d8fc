#pragma once

#include <string>

namespace zv {

// Notices changes of one file: written in place, replaced by a rename (as an atomic save does),
// created, removed, or its rights changed. inotify watches the file's folder, so a replaced file
// is seen too; a comparison of the file's identity, size and times catches what the notices
// cannot (a folder that was missing when the watch began, a watch limit reached).
class FileWatch {
public:
    // nativeFile: a native path. Never throws; without inotify only the comparison works.
    explicit FileWatch(std::string nativeFile);
    ~FileWatch();
    FileWatch(const FileWatch &) = delete;
    FileWatch &operator=(const FileWatch &) = delete;

    // Becomes readable when something changed in the folder; -1 without inotify. Callers wait on
    // it (poll) and call changed() when it is readable, and also now and then without it (every
    // second or two), which also takes up the watch of a folder that appears later.
    int descriptor() const { return inotify_; }

    // True when the file changed since the last call (or since construction). Reads the pending
    // notices without blocking.
    bool changed();

    const std::string &path() const { return file_; }

private:
    void watchFolder();
    bool drainNotices();
    std::string signature() const;

    std::string file_;
    std::string folder_;
    std::string name_;
    int inotify_ = -1;
    int watch_ = -1;
    std::string last_;
};

}  // namespace zv
