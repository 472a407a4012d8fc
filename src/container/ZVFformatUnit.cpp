#include "container/ZVFformatUnit.h"

#include "container/ZVFFrameReader.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/Paths.h"

namespace {

const char kLoadFramePrefix[] = "Ошибка получения данных из файла видео:";
// The runtime's text for a stream that ends before the bytes asked for.
const char kReadError[] = "Ошибка чтения потока";

}  // namespace

TZVFFormat::TZVFFormat(const std::string &fileName, zv::FileSystem &files)
    : FileName(fileName),
      files_(files),
      Stream(files.open(zv::nativeFilePath(fileName), zv::FileSystem::OpenMode::ReadOrCreate)) {}

TZVFFormat::~TZVFFormat() = default;

int32_t TZVFFormat::FrameCount() const {
    try {
        const std::optional<int32_t> count = zvf::readCount(*Stream);
        if (!count || *count <= 0)
            return 0;
        // A count is trusted only as far as the file holds the entries it claims; the writer
        // makes entries visible before the count, so a live file never loses frames here.
        const int32_t held = zvf::entriesHeld(Stream->length());
        return *count < held ? *count : held;
    } catch (const std::exception &) {
        return 0;
    }
}

void TZVFFormat::ReadFrameEntry(int32_t index, TZVFFrameEntry &entry) const {
    try {
        zvf::readEntry(*Stream, index, entry);
    } catch (const std::exception &) {
    }
}

std::vector<TZVFFrameEntry> TZVFFormat::ReadFrameEntries(int32_t first, int32_t count) const {
    std::vector<TZVFFrameEntry> entries;
    ReadFrameEntries(first, count, entries);
    return entries;
}

void TZVFFormat::ReadFrameEntries(int32_t first, int32_t count,
                                  std::vector<TZVFFrameEntry> &entries) const {
    try {
        zvf::readEntries(*Stream, first, count, entries, indexBytes_);
    } catch (const std::exception &) {
        entries.clear();
    }
}

int64_t TZVFFormat::FileSize() const {
    try {
        return Stream->length();
    } catch (const std::exception &) {
        return 0;
    }
}

std::unique_ptr<zv::GifImage> TZVFFormat::LoadFrame(int32_t index) {
    auto image = std::make_unique<zv::GifImage>();
    LoadFrame(index, *image);
    return image;
}

bool TZVFFormat::LoadFrame(int32_t index, zv::GifImage &image) {
    const zv::Status status = TryLoadFrame(index, image);
    if (!status.ok())
        zv::showMessage(LoadFailureText(status.reason()));
    return status.ok();
}

std::string TZVFFormat::LoadFailureText(const std::string &reason, char lineBreak) {
    return std::string(kLoadFramePrefix) + lineBreak + reason;
}

zv::Status TZVFFormat::ReadFrameBytes(int32_t index, std::vector<uint8_t> &bytes) const {
    zv::Status status = zv::statusOf([&] {
        if (index < 0 || index >= zvf::kCapacity)
            throw zv::Error("Недопустимый номер кадра: " + std::to_string(index));
        TZVFFrameEntry entry;
        if (!zvf::readEntry(*Stream, index, entry))
            throw zv::Error(kReadError);
        zvf::readFrameBytes(*Stream, entry, bytes);
    });
    if (!status.ok())
        bytes.clear();
    return status;
}

zv::Status TZVFFormat::TryLoadFrame(int32_t index, zv::GifImage &image) {
    zv::Status status = ReadFrameBytes(index, frameBytes_);
    if (status.ok())
        status = zv::statusOf([&] { image.loadFromBytes(frameBytes_.data(), frameBytes_.size()); });
    if (!status.ok())
        image.clear();
    return status;
}
