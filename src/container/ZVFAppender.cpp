#include "container/ZVFAppender.h"

#include <limits>

#include "container/ZVFConstants.h"
#include "container/ZVFFrameReader.h"
#include "platform/Error.h"
#include "platform/Paths.h"

ZVFAppender::ZVFAppender(const std::string &fileName, zv::FileSystem &files)
    : file_(files.open(zv::nativeFilePath(fileName), zv::FileSystem::OpenMode::ReadWriteOrCreate)) {
}

int32_t ZVFAppender::frameCount() const {
    return zvf::readCount(*file_).value_or(0);
}

void ZVFAppender::append(const void *gif, size_t size, double dateTime) {
    if (!gif || size == 0 || size > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw zv::Error("Недопустимый размер кадра: " + std::to_string(size));
    const int32_t count = frameCount();
    if (count < 0 || count > zvf::kCapacity)
        throw zv::Error("Поврежден счетчик кадров: " + std::to_string(count));
    if (count == zvf::kCapacity)
        throw zv::Error("Файл видео заполнен: " + std::to_string(zvf::kCapacity) + " кадров");

    int64_t offset = 0;
    if (count > 0) {
        // The next frame goes behind the last one, which must itself be a readable frame: then
        // its end lies inside the file and no sum below can overflow.
        TZVFFrameEntry last;
        if (!zvf::readEntry(*file_, count - 1, last) ||
            zvf::frameFault(last, file_->length()) != zvf::FrameFault::None)
            throw zv::Error("Поврежден индекс кадров");
        offset = last.Offset + last.Size;
    }

    file_->writeAt(gif, size, zvf::kDataBase + offset);
    uint8_t entry[zvf::kEntrySize];
    zvf::encodeEntry(entry, TZVFFrameEntry{offset, dateTime, static_cast<int32_t>(size)});
    file_->writeAt(entry, sizeof entry, zvf::entryPosition(count));
    uint8_t countBytes[zvf::kCountSize];
    zvf::encodeCount(countBytes, count + 1);
    file_->writeAt(countBytes, sizeof countBytes, zvf::kCountPosition);
}
