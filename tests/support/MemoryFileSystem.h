#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/File.h"

namespace zvtest {

// Files held in memory, for tests and fuzzing: the frame store over bytes without a disk. Files
// are sparse (bytes never written read as zero and cost nothing, so a frame 4 GB into a file is
// cheap) and names are plain keys (no folders, no links). Every write and sync is counted, so
// tests can see the order in which a writer makes its data durable.
//
// Files stay alive while the file system or an open file holds them. Not thread-safe.
class MemoryFileSystem final : public zv::FileSystem {
public:
    MemoryFileSystem();
    ~MemoryFileSystem() override;

    std::unique_ptr<zv::RandomFile> open(const std::string &name, OpenMode mode) override;
    std::optional<zv::FileId> idOf(const std::string &name) override;

    // Creates or replaces a file: the given areas of bytes at their positions (later areas win
    // where they overlap), and the given length (at least the end of the last area).
    struct Area {
        int64_t position;
        const void *data;
        size_t size;
    };
    void setFile(const std::string &name, const std::vector<Area> &areas, int64_t length);
    // The whole file as bytes (holes as zeros); empty for a missing file. Meant for small files.
    std::string contents(const std::string &name) const;
    void remove(const std::string &name);

    // What happened to a file, in order: "w <position> <size>" per write, "t <length>" per
    // truncate, "s" per sync.
    const std::vector<std::string> &journal(const std::string &name) const;
    // The same with the bytes of each write, for replaying a file up to any moment (a crash).
    struct Operation {
        char kind;         // 'w' write, 't' truncate (position: the new length), 's' sync
        int64_t position;  // of a write; the length of a truncate
        std::string bytes;
    };
    const std::vector<Operation> &operations(const std::string &name) const;
    // The next write or sync of any file throws zv::Error with this text (once each).
    void failNextWrite(std::string text) { *failWrite_ = std::move(text); }

    struct Data;

private:
    std::shared_ptr<Data> find(const std::string &name) const;

    std::map<std::string, std::shared_ptr<Data>> files_;
    uint64_t nextId_ = 1;
    std::shared_ptr<std::string> failWrite_ = std::make_shared<std::string>();
};

}  // namespace zvtest
