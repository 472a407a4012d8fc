#include "container/ZVFAppender.h"

#include <fcntl.h>

#include <limits>

#include "container/ZVFCoding.h"
#include "container/ZVFConstants.h"
#include "platform/Error.h"
#include "platform/Paths.h"

ZVFAppender::ZVFAppender(const std::string &fileName)
    : fd_(zv::openFile(zv::nativePath(fileName), O_RDWR | O_CREAT)) {}

int32_t ZVFAppender::frameCount() const {
    uint8_t bytes[zvf::kCountSize];
    if (zv::readAt(fd_.get(), bytes, sizeof bytes, zvf::kCountPosition) < sizeof bytes)
        return 0;
    return zvf::decodeCount(bytes);
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
        uint8_t last[zvf::kEntrySize];
        if (zv::readAt(fd_.get(), last, sizeof last, zvf::entryPosition(count - 1)) < sizeof last)
            throw zv::Error("Поврежден индекс кадров");
        const TZVFFrameEntry e = zvf::decodeEntry(last);
        if (e.Offset < 0 || e.Size <= 0 ||
            e.Offset > std::numeric_limits<int64_t>::max() - zvf::kDataBase - e.Size -
                           static_cast<int64_t>(size))
            throw zv::Error("Поврежден индекс кадров");
        offset = e.Offset + e.Size;
    }

    zv::writeAt(fd_.get(), gif, size, zvf::kDataBase + offset);
    uint8_t entry[zvf::kEntrySize];
    zvf::encodeEntry(entry, TZVFFrameEntry{offset, dateTime, static_cast<int32_t>(size)});
    zv::writeAt(fd_.get(), entry, sizeof entry, zvf::entryPosition(count));
    uint8_t countBytes[zvf::kCountSize];
    zvf::encodeCount(countBytes, count + 1);
    zv::writeAt(fd_.get(), countBytes, sizeof countBytes, zvf::kCountPosition);
}
