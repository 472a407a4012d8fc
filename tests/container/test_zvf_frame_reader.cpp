// The one rule of a readable frame and the record reads, over files in memory.
#include "container/ZVFFrameReader.h"

#include <gtest/gtest.h>

#include <cstring>

#include "container/GifFixtures.h"
#include "container/ZVFAppender.h"
#include "container/ZVFCheck.h"
#include "container/ZVFformatUnit.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "support/MemoryFileSystem.h"

namespace {

using zvf::FrameFault;
constexpr int64_t kData = 10'000'000;

TEST(FrameRule, EdgesOfTheDataArea) {
    const int64_t length = kData + 100;  // a data area of 100 bytes
    struct Case {
        int64_t offset;
        int32_t size;
        FrameFault fault;
    } cases[] = {
        {0, 100, FrameFault::None},
        {99, 1, FrameFault::None},
        {100, 1, FrameFault::BeyondEnd},
        {0, 101, FrameFault::BeyondEnd},
        {1, 100, FrameFault::BeyondEnd},
        {INT64_MAX, 1, FrameFault::BeyondEnd},
        {INT64_MAX - 50, 1000, FrameFault::BeyondEnd},
        // A claim above 256 MB is damage for every reader, whatever the file's length.
        {0, zvf::kMaxFrameSize, FrameFault::BeyondEnd},
        {0, zvf::kMaxFrameSize + 1, FrameFault::TooLarge},
        {INT64_MAX - 50, INT32_MAX, FrameFault::TooLarge},
        {0, 0, FrameFault::Size},
        {-1, 0, FrameFault::Size},  // the size is named first
        {0, INT32_MIN, FrameFault::Size},
        {-1, 1, FrameFault::Offset},
        {INT64_MIN, 1, FrameFault::Offset},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.size));
        EXPECT_EQ(zvf::frameFault({c.offset, 0.0, c.size}, length), c.fault);
    }
    // A file that ends inside the index area, or is empty, holds no frame at all.
    for (int64_t shortLength : {int64_t{0}, int64_t{2020}, kData - 1, kData})
        EXPECT_EQ(zvf::frameFault({0, 0.0, 1}, shortLength), FrameFault::BeyondEnd);
    EXPECT_EQ(zvf::frameFaultText(FrameFault::Size, {0, 0.0, -3}), "Недопустимый размер кадра: -3");
    EXPECT_EQ(zvf::frameFaultText(FrameFault::None, {}), "");
}

TEST(FrameReader, RecordsOfAFileInMemory) {
    zvtest::MemoryFileSystem files;
    const std::vector<uint8_t> gif = zvtest::smallGif(3);
    {
        ZVFAppender writer("rec.zvf", files);
        for (int i = 0; i < 3; ++i)
            writer.append(gif.data(), gif.size(), 10.0 + i);
    }
    auto file = files.open("rec.zvf", zv::FileSystem::OpenMode::Read);
    EXPECT_EQ(zvf::readCount(*file), 3);
    EXPECT_EQ(file->length(), kData + 3 * static_cast<int64_t>(gif.size()));

    TZVFFrameEntry e;
    ASSERT_TRUE(zvf::readEntry(*file, 2, e));
    EXPECT_EQ(e.Offset, 2 * static_cast<int64_t>(gif.size()));
    EXPECT_EQ(e.DateTime, 12.0);
    std::vector<uint8_t> bytes;
    zvf::readFrameBytes(*file, e, bytes);
    EXPECT_EQ(bytes, gif);

    std::vector<TZVFFrameEntry> entries;
    std::vector<uint8_t> raw;
    zvf::readEntries(*file, 1, 10, entries, raw);  // the empty slots behind the count read too
    ASSERT_EQ(entries.size(), 10u);
    EXPECT_EQ(entries[0].Size, static_cast<int32_t>(gif.size()));
    EXPECT_EQ(entries[2].Size, 0);
    EXPECT_FALSE(zvf::readEntry(*file, -1, e));
    EXPECT_FALSE(zvf::readEntry(*file, zvf::kCapacity, e));

    // A damaged entry is refused before anything is allocated for its claim.
    e.Size = 1'000'000;
    try {
        zvf::readFrameBytes(*file, e, bytes);
        FAIL() << "read a frame beyond the end";
    } catch (const zv::Error &error) {
        EXPECT_EQ(std::string(error.what()), zvf::frameFaultText(FrameFault::BeyondEnd, e));
    }
    e.Size = INT32_MAX;
    try {
        zvf::readFrameBytes(*file, e, bytes);
        FAIL() << "read a frame of 2 GB";
    } catch (const zv::Error &error) {
        EXPECT_EQ(std::string(error.what()),
                  "Недопустимый размер кадра: 2147483647 (больше 256 МБ)");
    }
    EXPECT_LT(bytes.capacity(), 1'000'000u);
}

TEST(FrameReader, TheFrameStoreCheckAndExportOverMemoryFiles) {
    // A sparse recording whose frames lie beyond 4 GB costs no memory for the hole.
    zvtest::MemoryFileSystem files;
    const std::vector<uint8_t> gif = zvtest::smallGif(1);
    const int64_t far = (int64_t{1} << 32) + 12'345;
    uint8_t head[4], entries[40];
    zvf::encodeCount(head, 2);
    zvf::encodeEntry(entries, {far, 40543.5, static_cast<int32_t>(gif.size())});
    zvf::encodeEntry(entries + 20, {far + static_cast<int64_t>(gif.size()), 40543.6,
                                    static_cast<int32_t>(gif.size())});
    files.setFile("rec.zvf",
                  {{0, head, 4},
                   {2000, entries, 40},
                   {kData + far, gif.data(), gif.size()},
                   {kData + far + static_cast<int64_t>(gif.size()), gif.data(), gif.size()}},
                  0);
    TZVFFormat zvf("rec.zvf", files);
    ASSERT_EQ(zvf.FrameCount(), 2);
    zv::GifImage image;
    EXPECT_TRUE(zvf.TryLoadFrame(1, image).ok());
    EXPECT_EQ(image.pixels()[0], zvtest::argb(zvtest::distinctPalette(8, 1)[0]));
    EXPECT_EQ(zvf::checkFile("rec.zvf", SIZE_MAX, files).problems, 0);

    zvf.ExportVideo("out.zvf", 1, 0, false);
    EXPECT_EQ(zvf::checkFile("out.zvf", SIZE_MAX, files).problems, 0);
    TZVFFormat exported("out.zvf", files);
    EXPECT_EQ(exported.FrameCount(), 2);
    EXPECT_EQ(exported.FileSize(), kData + 2 * static_cast<int64_t>(gif.size()));
    // The export goes to another name only: the source under its own name is refused.
    EXPECT_THROW(zvf.ExportVideo("rec.zvf", 0, 0, false), zv::Error);
}

TEST(FrameReader, TryLoadFrameGivesTheFailureAsAValueAndShowsNothing) {
    zvtest::MemoryFileSystem files;
    const char notGif[] = "not a gif";
    uint8_t head[4], entry[20];
    zvf::encodeCount(head, 1);
    zvf::encodeEntry(entry, {0, 1.0, 9});
    files.setFile("rec.zvf", {{0, head, 4}, {2000, entry, 20}, {kData, notGif, 9}}, 0);
    std::vector<std::string> shown;
    zv::ScopedMessageHandler recorder(
        [&](const std::string &text, zv::MessageKind) { shown.push_back(text); });
    TZVFFormat zvf("rec.zvf", files);
    zv::GifImage image;
    const zv::Status failure = zvf.TryLoadFrame(0, image);
    ASSERT_FALSE(failure.ok());
    // The reason alone: the operator's message is made where it is shown.
    EXPECT_FALSE(failure.reason().empty());
    EXPECT_EQ(failure.reason().find("Ошибка получения"), std::string::npos);
    EXPECT_TRUE(image.empty());
    EXPECT_TRUE(shown.empty());
    const zv::Status outside = zvf.TryLoadFrame(-1, image);
    ASSERT_FALSE(outside.ok());
    EXPECT_EQ(outside.reason(), "Недопустимый номер кадра: -1");
    // LoadFrame shows the message made of the same reason.
    EXPECT_FALSE(zvf.LoadFrame(0, image));
    EXPECT_EQ(shown, std::vector<std::string>{"Ошибка получения данных из файла видео:\r" +
                                              failure.reason()});
}

}  // namespace
