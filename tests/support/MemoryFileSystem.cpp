#include "support/MemoryFileSystem.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/Error.h"

namespace zvtest {

using namespace zv;

namespace {

constexpr int64_t kPage = 4096;
// Same bound as a 64-bit file offset: positions past it cannot be written.
constexpr int64_t kMaxLength = INT64_MAX - kPage;

}  // namespace

struct MemoryFileSystem::Data {
    uint64_t id = 0;
    int64_t length = 0;
    std::unordered_map<int64_t, std::unique_ptr<uint8_t[]>> pages;
    std::vector<std::string> journal;
    std::vector<MemoryFileSystem::Operation> operations;

    size_t read(void *buffer, size_t size, int64_t offset) const {
        if (offset < 0)
            throw Error("Ошибка чтения файла: Invalid argument");
        if (offset >= length)
            return 0;
        const size_t n =
            static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(size), length - offset));
        auto *out = static_cast<uint8_t *>(buffer);
        for (size_t done = 0; done < n;) {
            const int64_t at = offset + static_cast<int64_t>(done);
            const int64_t inPage = at % kPage;
            const size_t piece = static_cast<size_t>(
                std::min<int64_t>(kPage - inPage, static_cast<int64_t>(n - done)));
            auto page = pages.find(at / kPage);
            if (page == pages.end())
                std::memset(out + done, 0, piece);
            else
                std::memcpy(out + done, page->second.get() + inPage, piece);
            done += piece;
        }
        return n;
    }

    void write(const void *buffer, size_t size, int64_t offset) {
        if (offset < 0 || offset > kMaxLength - static_cast<int64_t>(size))
            throw Error("Ошибка записи в файл: File too large");
        const auto *in = static_cast<const uint8_t *>(buffer);
        for (size_t done = 0; done < size;) {
            const int64_t at = offset + static_cast<int64_t>(done);
            const int64_t inPage = at % kPage;
            const size_t piece = static_cast<size_t>(
                std::min<int64_t>(kPage - inPage, static_cast<int64_t>(size - done)));
            std::unique_ptr<uint8_t[]> &page = pages[at / kPage];
            if (!page)
                page = std::make_unique<uint8_t[]>(kPage);  // zero-filled
            std::memcpy(page.get() + inPage, in + done, piece);
            done += piece;
        }
        length = std::max(length, offset + static_cast<int64_t>(size));
    }

    void truncate(int64_t newLength) {
        if (newLength < 0 || newLength > kMaxLength)
            throw Error("Ошибка записи в файл: Invalid argument");
        // Bytes past the new end read as zeros should the file grow again.
        for (auto page = pages.begin(); page != pages.end();) {
            const int64_t start = page->first * kPage;
            if (start >= newLength) {
                page = pages.erase(page);
                continue;
            }
            if (start + kPage > newLength)
                std::memset(page->second.get() + (newLength - start), 0,
                            static_cast<size_t>(start + kPage - newLength));
            ++page;
        }
        length = newLength;
    }
};

namespace {

class MemoryFile final : public RandomFile {
public:
    MemoryFile(std::shared_ptr<MemoryFileSystem::Data> data, bool writable,
               std::shared_ptr<std::string> failWrite)
        : data_(std::move(data)), writable_(writable), failWrite_(std::move(failWrite)) {}
    size_t readAt(void *buffer, size_t size, int64_t offset) override {
        return data_->read(buffer, size, offset);
    }
    void writeAt(const void *buffer, size_t size, int64_t offset) override {
        if (!writable_)
            throw Error("Ошибка записи в файл: Bad file descriptor");
        failIfAsked();
        data_->write(buffer, size, offset);
        data_->journal.push_back("w " + std::to_string(offset) + " " + std::to_string(size));
        data_->operations.push_back(
            {'w', offset, std::string(static_cast<const char *>(buffer), size)});
    }
    int64_t length() override { return data_->length; }
    void truncate(int64_t length) override {
        if (!writable_)
            throw Error("Ошибка записи в файл: Bad file descriptor");
        failIfAsked();
        data_->truncate(length);
        data_->journal.push_back("t " + std::to_string(length));
        data_->operations.push_back({'t', length, {}});
    }
    void sync() override {
        failIfAsked();
        data_->journal.push_back("s");
        data_->operations.push_back({'s', 0, {}});
    }
    FileId id() override { return {0, data_->id}; }

private:
    void failIfAsked() {
        if (!failWrite_->empty()) {
            std::string text = std::move(*failWrite_);
            failWrite_->clear();
            throw Error(text);
        }
    }

    std::shared_ptr<MemoryFileSystem::Data> data_;
    bool writable_;
    std::shared_ptr<std::string> failWrite_;  // the file system's pending failure
};

}  // namespace

MemoryFileSystem::MemoryFileSystem() = default;
MemoryFileSystem::~MemoryFileSystem() = default;

std::shared_ptr<MemoryFileSystem::Data> MemoryFileSystem::find(const std::string &name) const {
    auto it = files_.find(name);
    return it == files_.end() ? nullptr : it->second;
}

std::unique_ptr<RandomFile> MemoryFileSystem::open(const std::string &name, OpenMode mode) {
    std::shared_ptr<Data> data = find(name);
    if (!data) {
        if (mode == OpenMode::Read)
            throw Error("Не удается открыть файл \"" + name + "\": No such file or directory");
        data = std::make_shared<Data>();
        data->id = nextId_++;
        files_[name] = data;
    }
    return std::make_unique<MemoryFile>(std::move(data), mode == OpenMode::ReadWriteOrCreate,
                                        failWrite_);
}

std::optional<FileId> MemoryFileSystem::idOf(const std::string &name) {
    std::shared_ptr<Data> data = find(name);
    if (!data)
        return std::nullopt;
    return FileId{0, data->id};
}

void MemoryFileSystem::setFile(const std::string &name, const std::vector<Area> &areas,
                               int64_t length) {
    auto data = std::make_shared<Data>();
    data->id = nextId_++;
    for (const Area &area : areas)
        data->write(area.data, area.size, area.position);
    data->length = std::max(data->length, length);
    files_[name] = std::move(data);
}

std::string MemoryFileSystem::contents(const std::string &name) const {
    std::shared_ptr<Data> data = find(name);
    if (!data)
        return {};
    std::string bytes(static_cast<size_t>(data->length), '\0');
    data->read(bytes.data(), bytes.size(), 0);
    return bytes;
}

void MemoryFileSystem::remove(const std::string &name) {
    files_.erase(name);
}

const std::vector<MemoryFileSystem::Operation> &MemoryFileSystem::operations(
    const std::string &name) const {
    static const std::vector<Operation> kNone;
    std::shared_ptr<Data> data = find(name);
    return data ? data->operations : kNone;
}

const std::vector<std::string> &MemoryFileSystem::journal(const std::string &name) const {
    static const std::vector<std::string> kNone;
    std::shared_ptr<Data> data = find(name);
    return data ? data->journal : kNone;
}

}  // namespace zvtest
