#include "container/ZVFformatUnit.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "container/GifFixtures.h"
#include "container/ZVFAppender.h"
#include "container/ZVFConstants.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "platform/Messages.h"
#include "support/RawZvf.h"
#include "support/TempRoot.h"

namespace {

const std::string kPrefix = "Ошибка получения данных из файла видео:\r";
const std::string kBeyondEnd = "Ошибка чтения потока: данные кадра за концом файла";

uint32_t firstPixel(const zv::GifImage &image) {
    return image.pixels()[0];
}

struct Recorder {
    std::vector<std::string> texts;
    zv::ScopedMessageHandler guard{
        [this](const std::string &t, zv::MessageKind) { texts.push_back(t); }};
};

class ZVFFormatTest : public ::testing::Test {
protected:
    zvtest::TempRoot root;
    std::string name = "C:\\VELD\\ZORVIDEO\\BigFile.zvf";
    std::string native;
    void SetUp() override {
        std::filesystem::create_directories(root.file("drive_c/VELD/ZORVIDEO"));
        native = root.file("drive_c/VELD/ZORVIDEO/BigFile.zvf");
    }
};

}  // namespace

TEST_F(ZVFFormatTest, MissingFileIsCreatedEmptyAndReadsAsNoFrames) {
    TZVFFormat zvf(name);
    EXPECT_EQ(zvf.FileName, name);
    EXPECT_TRUE(std::filesystem::exists(native));
    EXPECT_EQ(zvf.FileSize(), 0);
    EXPECT_EQ(zvf.FrameCount(), 0);
    EXPECT_TRUE(zvf.ReadFrameEntries(0, 10).empty());
    TZVFFrameEntry e{7, 8.5, 9};
    zvf.ReadFrameEntry(0, e);
    EXPECT_EQ(e.Offset, 7);
    EXPECT_EQ(e.Size, 9);
    EXPECT_EQ(e.DateTime, 8.5);
}

TEST_F(ZVFFormatTest, ConstructorErrorsReachTheCaller) {
    EXPECT_THROW(TZVFFormat("C:\\NO\\SUCH\\FOLDER\\x.zvf"), zv::Error);
    EXPECT_THROW(TZVFFormat(root.file("drive_c/VELD")), zv::Error);
    // A named pipe would block a plain open until a writer came; it is refused at once.
    std::string pipe = root.file("pipe.zvf");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_THROW(TZVFFormat{pipe}, zv::Error);
}

TEST_F(ZVFFormatTest, FramesRoundTripThroughTheAppender) {
    ZVFAppender writer(name);
    std::vector<std::vector<uint8_t>> gifs;
    for (int i = 0; i < 5; ++i) {
        gifs.push_back(zvtest::smallGif(i));
        writer.append(gifs.back().data(), gifs.back().size(), 40543.5 + i / 86400.0);
    }
    TZVFFormat zvf(name);
    ASSERT_EQ(zvf.FrameCount(), 5);
    int64_t offset = 0;
    auto all = zvf.ReadFrameEntries(0, 5);
    ASSERT_EQ(all.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        TZVFFrameEntry e;
        zvf.ReadFrameEntry(i, e);
        EXPECT_EQ(e.Offset, offset);
        EXPECT_EQ(e.Size, static_cast<int32_t>(gifs[i].size()));
        EXPECT_DOUBLE_EQ(e.DateTime, 40543.5 + i / 86400.0);
        EXPECT_EQ(all[i].Offset, e.Offset);
        EXPECT_EQ(all[i].Size, e.Size);
        EXPECT_EQ(all[i].DateTime, e.DateTime);
        offset += e.Size;

        auto image = zvf.LoadFrame(i);
        ASSERT_FALSE(image->empty());
        EXPECT_EQ(firstPixel(*image), zvtest::argb(zvtest::distinctPalette(8, i)[0]));
    }
    EXPECT_EQ(zvf.FileSize(), 10'000'000 + offset);
    // A sub-range, and one that runs past the file's end.
    auto some = zvf.ReadFrameEntries(3, 100);
    ASSERT_GE(some.size(), 2u);
    EXPECT_EQ(some[0].Offset, all[3].Offset);
    EXPECT_EQ(some[1].Size, all[4].Size);
}

TEST_F(ZVFFormatTest, LastEntryOfTheIndexAreaEndsAtItsLastByte) {
    const int32_t last = zvf::kCapacity - 1;
    ASSERT_EQ(zvf::entryPosition(last) + zvf::kEntrySize - 1, 9'999'999);
    std::vector<uint8_t> gif = zvtest::smallGif(1);
    {
        zvtest::RawZvf raw(native);
        raw.putCount(zvf::kCapacity);
        raw.putEntry(last, 0, static_cast<int32_t>(gif.size()), 40543.5);
        raw.put(10'000'000, gif.data(), gif.size());
    }
    TZVFFormat zvf(name);
    EXPECT_EQ(zvf.FrameCount(), zvf::kCapacity);
    TZVFFrameEntry e;
    zvf.ReadFrameEntry(last, e);
    EXPECT_EQ(e.Size, static_cast<int32_t>(gif.size()));
    EXPECT_EQ(e.DateTime, 40543.5);
    auto tail = zvf.ReadFrameEntries(last - 1, 10);  // cut at the end of the index area
    ASSERT_EQ(tail.size(), 2u);
    EXPECT_EQ(tail[1].Size, e.Size);
    EXPECT_EQ(tail[1].DateTime, 40543.5);
    Recorder shown;
    EXPECT_FALSE(zvf.LoadFrame(last)->empty());
    EXPECT_TRUE(shown.texts.empty());
    // Entries of the whole index in one read.
    EXPECT_EQ(zvf.ReadFrameEntries(0, zvf::kCapacity).size(), static_cast<size_t>(zvf::kCapacity));
}

TEST_F(ZVFFormatTest, BulkEntriesMatchSingleReadsAcrossLargeRanges) {
    const int32_t n = 40'000;  // several read blocks
    {
        std::string index(static_cast<size_t>(n) * 20, '\0');
        for (int32_t i = 0; i < n; ++i) {
            int64_t offset = int64_t{i} * 3 + (int64_t{i} << 33);
            int32_t size = i + 1;
            double at = 40000.0 + i * 0.25;
            std::memcpy(&index[i * 20], &offset, 8);
            std::memcpy(&index[i * 20 + 8], &size, 4);
            std::memcpy(&index[i * 20 + 12], &at, 8);
        }
        zvtest::RawZvf raw(native);
        raw.put(2000, index.data(), index.size());
        raw.putCount(n);
    }
    TZVFFormat zvf(name);
    ASSERT_EQ(zvf.FrameCount(), n);
    std::vector<TZVFFrameEntry> all(5, TZVFFrameEntry{-1, -1.0, -1});  // replaced, not appended to
    zvf.ReadFrameEntries(0, n + 100, all);  // the file ends at entry n - 1
    ASSERT_EQ(all.size(), static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        TZVFFrameEntry one;
        zvf.ReadFrameEntry(i, one);
        ASSERT_EQ(all[i].Offset, one.Offset) << i;
        ASSERT_EQ(all[i].Size, i + 1) << i;
        ASSERT_EQ(all[i].DateTime, one.DateTime) << i;
    }
    zvf.ReadFrameEntries(13'100, 20, all);
    ASSERT_EQ(all.size(), 20u);
    EXPECT_EQ(all[19].Size, 13'120);
    zvf.ReadFrameEntries(5, 0, all);
    EXPECT_TRUE(all.empty());
}

TEST_F(ZVFFormatTest, FramesBeyondTwoAndFourGigabytesInSparseFiles) {
    // Absolute positions 2^31, 2^32 and past 2^32.
    const int64_t offsets[] = {2'137'483'648, 4'284'967'296, (int64_t{1} << 32) + 12'345};
    std::vector<uint8_t> gifs[3] = {zvtest::smallGif(2), zvtest::smallGif(3), zvtest::smallGif(4)};
    {
        zvtest::RawZvf raw(native);
        raw.putCount(3);
        for (int i = 0; i < 3; ++i) {
            raw.putEntry(i, offsets[i], static_cast<int32_t>(gifs[i].size()), 1.0 * i);
            raw.put(10'000'000 + offsets[i], gifs[i].data(), gifs[i].size());
        }
    }
    TZVFFormat zvf(name);
    ASSERT_EQ(zvf.FrameCount(), 3);
    EXPECT_EQ(zvf.FileSize(), 10'000'000 + offsets[2] + static_cast<int64_t>(gifs[2].size()));
    Recorder shown;
    zv::GifImage image;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        TZVFFrameEntry e;
        zvf.ReadFrameEntry(i, e);
        EXPECT_EQ(e.Offset, offsets[i]);
        ASSERT_TRUE(zvf.LoadFrame(i, image));
        EXPECT_EQ(firstPixel(image), zvtest::argb(zvtest::distinctPalette(8, i + 2)[0]));
    }
    EXPECT_TRUE(shown.texts.empty());
}

TEST_F(ZVFFormatTest, CountGrowsWhileAnotherWriterAppends) {
    ZVFAppender writer(name);
    std::vector<uint8_t> gif = zvtest::smallGif(0);
    writer.append(gif.data(), gif.size(), 1.0);
    TZVFFormat zvf(name);
    EXPECT_EQ(zvf.FrameCount(), 1);
    TZVFFrameEntry next;
    zvf.ReadFrameEntry(1, next);  // the slot after the count: no error, nothing there yet
    EXPECT_EQ(next.Size, 0);
    for (int i = 0; i < 3; ++i)
        writer.append(gif.data(), gif.size(), 2.0 + i);
    EXPECT_EQ(zvf.FrameCount(), 4);
    zvf.ReadFrameEntry(1, next);
    EXPECT_EQ(next.Size, static_cast<int32_t>(gif.size()));
    EXPECT_EQ(next.DateTime, 2.0);
    EXPECT_FALSE(zvf.LoadFrame(3)->empty());
}

TEST_F(ZVFFormatTest, BytesThatAreNotAGifShowTheMessageOnceAndGiveAnEmptyImage) {
    const std::string junk = "not a gif, just text that sits in the data area";
    {
        zvtest::RawZvf raw(native);
        raw.putCount(1);
        raw.putEntry(0, 0, static_cast<int32_t>(junk.size()), 1.0);
        raw.put(10'000'000, junk.data(), junk.size());
    }
    TZVFFormat zvf(name);
    Recorder shown;
    auto image = zvf.LoadFrame(0);
    EXPECT_TRUE(image->empty());
    ASSERT_EQ(shown.texts.size(), 1u);
    EXPECT_EQ(shown.texts[0], kPrefix + "Данные не являются изображением GIF");

    // A reused image that held a picture is emptied too.
    ZVFAppender(name).append(zvtest::smallGif(1).data(), zvtest::smallGif(1).size(), 2.0);
    zv::GifImage reused;
    ASSERT_TRUE(zvf.LoadFrame(1, reused));
    EXPECT_FALSE(zvf.LoadFrame(0, reused));
    EXPECT_TRUE(reused.empty());
    EXPECT_EQ(shown.texts.size(), 2u);
}

TEST_F(ZVFFormatTest, DamagedCountsAreMadeSafe) {
    std::vector<uint8_t> gif = zvtest::smallGif(0);
    {
        ZVFAppender writer(name);
        for (int i = 0; i < 3; ++i)
            writer.append(gif.data(), gif.size(), i);
    }
    zvtest::RawZvf raw(native);
    TZVFFormat zvf(name);
    raw.putCount(-5);
    EXPECT_EQ(zvf.FrameCount(), 0);
    raw.putCount(INT32_MIN);
    EXPECT_EQ(zvf.FrameCount(), 0);
    raw.putCount(INT32_MAX);  // above the capacity: cut to the capacity (the file is long enough)
    EXPECT_EQ(zvf.FrameCount(), zvf::kCapacity);
    raw.putCount(499'901);
    EXPECT_EQ(zvf.FrameCount(), zvf::kCapacity);
    raw.putCount(3);
    EXPECT_EQ(zvf.FrameCount(), 3);

    // A file that ends inside the index area holds only its complete entries.
    raw.truncate(2000 + 20 * 2 + 19);
    raw.putCount(3);
    EXPECT_EQ(zvf.FrameCount(), 2);
    raw.putCount(1'000'000);
    EXPECT_EQ(zvf.FrameCount(), 2);
    raw.truncate(2000 + 19);
    EXPECT_EQ(zvf.FrameCount(), 0);
    raw.truncate(3);  // shorter than the count itself
    EXPECT_EQ(zvf.FrameCount(), 0);
}

TEST_F(ZVFFormatTest, DamagedEntriesShowTheMessageWithoutAllocatingTheClaim) {
    std::vector<uint8_t> gif = zvtest::smallGif(0);
    {
        ZVFAppender writer(name);
        writer.append(gif.data(), gif.size(), 1.0);
    }
    const int32_t size = static_cast<int32_t>(gif.size());
    struct Case {
        const char *what;
        int64_t offset;
        int32_t size;
        std::string message;
    } cases[] = {
        {"size 0", 0, 0, "Недопустимый размер кадра: 0"},
        {"negative size", 0, -1, "Недопустимый размер кадра: -1"},
        {"negative offset", -1, size, "Недопустимое смещение кадра: -1"},
        {"most negative offset", INT64_MIN, size,
         "Недопустимое смещение кадра: -9223372036854775808"},
        // Claims larger than the file (2 GB among them): refused before any allocation (the
        // sanitizer build would report a 2 GB allocation).
        {"size beyond the end", 0, 1'000'000, kBeyondEnd},
        // A claim above 256 MB is damage whatever the file holds.
        {"size of 2 GB", 0, INT32_MAX, "Недопустимый размер кадра: 2147483647 (больше 256 МБ)"},
        {"offset beyond the end", 1'000'000, size, kBeyondEnd},
        {"last byte one past the end", 1, size, kBeyondEnd},
        {"offset that overflows a sum", INT64_MAX - 5, size, kBeyondEnd},
    };
    TZVFFormat zvf(name);
    zvtest::RawZvf raw(native);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        raw.putEntry(0, c.offset, c.size, 1.0);
        Recorder shown;
        zv::GifImage image;
        EXPECT_FALSE(zvf.LoadFrame(0, image));
        EXPECT_TRUE(image.empty());
        EXPECT_EQ(shown.texts, std::vector<std::string>{kPrefix + c.message});
    }
    raw.putEntry(0, 0, size, 1.0);
    Recorder shown;
    EXPECT_FALSE(zvf.LoadFrame(0)->empty());

    // Indices outside the index area, and an entry the file does not reach.
    for (int32_t index : {-1, zvf::kCapacity, INT32_MAX}) {
        SCOPED_TRACE(index);
        EXPECT_TRUE(zvf.LoadFrame(index)->empty());
    }
    EXPECT_EQ(shown.texts.size(), 3u);
    raw.truncate(2000 + 20 + 5);
    EXPECT_TRUE(zvf.LoadFrame(1)->empty());
    EXPECT_EQ(shown.texts.back(), kPrefix + "Ошибка чтения потока");
}

TEST_F(ZVFFormatTest, ReadFrameEntryKeepsFieldsTheFileDoesNotReach) {
    {
        zvtest::RawZvf raw(native);
        raw.putEntry(0, 77, 88, 99.5);
        raw.truncate(2000 + 12);  // offset and size, no date-time
    }
    TZVFFormat zvf(name);
    TZVFFrameEntry e{1, 2.0, 3};
    zvf.ReadFrameEntry(0, e);
    EXPECT_EQ(e.Offset, 77);
    EXPECT_EQ(e.Size, 88);
    EXPECT_EQ(e.DateTime, 2.0);
    e = {1, 2.0, 3};
    zvf.ReadFrameEntry(-1, e);
    EXPECT_EQ(e.Offset, 1);
    EXPECT_TRUE(zvf.ReadFrameEntries(-1, 5).empty());
    EXPECT_TRUE(zvf.ReadFrameEntries(0, -5).empty());
    EXPECT_TRUE(zvf.ReadFrameEntries(0, 1).empty());  // the one entry is incomplete
}
