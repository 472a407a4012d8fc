#include "container/ChangeFinder.h"

#include <gtest/gtest.h>

#include <cstring>

#include "container/GifFixtures.h"
#include "container/ZVFAppender.h"
#include "container/ZVFConstants.h"
#include "support/MemoryFileSystem.h"

namespace {

using Starts = std::vector<int32_t>;

// A recording in memory built from runs of one picture each.
class ChangeFinderTest : public ::testing::Test {
protected:
    // Frames of pictures a = smallGif(1) and b = smallGif(2): the same size, another palette.
    void SetUp() override {
        a = zvtest::smallGif(1);
        b = zvtest::smallGif(2);
        ASSERT_EQ(a.size(), b.size());
        ASSERT_NE(a, b);
        large = zvtest::makeGif(
            {16, 16, 0, zvtest::distinctPalette(4), {zvtest::patternPicture(16, 16, 4)}});
        ASSERT_NE(large.size(), a.size());
    }
    void append(const std::vector<uint8_t> &gif, int times = 1) {
        for (int k = 0; k < times; ++k)
            out.append(gif.data(), gif.size(), 45'000.0 + frames++ / 86'400.0);
    }
    zv::RandomFile &file() {
        if (!opened)
            opened = files.open("rec.zvf", zv::FileSystem::OpenMode::Read);
        return *opened;
    }
    // Rewrites entry index of the recording.
    void putEntry(int32_t index, const TZVFFrameEntry &e) {
        uint8_t raw[zvf::kEntrySize];
        zvf::encodeEntry(raw, e);
        files.open("rec.zvf", zv::FileSystem::OpenMode::ReadWriteOrCreate)
            ->writeAt(raw, sizeof raw, zvf::entryPosition(index));
    }

    zvtest::MemoryFileSystem files;
    ZVFAppender out{"rec.zvf", files};
    std::unique_ptr<zv::RandomFile> opened;
    int frames = 0;
    std::vector<uint8_t> a, b, large;
};

TEST_F(ChangeFinderTest, ListsRunStartsAndAnEqualSizedNeighbourThatDiffers) {
    append(a, 3);      // 0 1 2
    append(b);         // 3: the size of a, another palette
    append(a, 4);      // 4 .. 7
    append(large, 2);  // 8 9
    append(a);         // 10
    EXPECT_EQ(zvf::findChanges(file(), 0, 10), (Starts{0, 3, 4, 8, 10}));
    // A range lists its first frame whatever it shows, and only its own starts.
    EXPECT_EQ(zvf::findChanges(file(), 1, 5), (Starts{1, 3, 4}));
    EXPECT_EQ(zvf::findChanges(file(), 5, 7), (Starts{5}));
    EXPECT_EQ(zvf::findChanges(file(), 9, 1'000), (Starts{9, 10}));  // cut to the count
    EXPECT_TRUE(zvf::findChanges(file(), 11, 20).empty());
    EXPECT_TRUE(zvf::findChanges(file(), 5, 4).empty());

    EXPECT_EQ(zvf::nextChange(file(), 0), 3);
    EXPECT_EQ(zvf::nextChange(file(), 3), 4);
    EXPECT_EQ(zvf::nextChange(file(), 5), 8);
    EXPECT_EQ(zvf::nextChange(file(), 10), std::nullopt);  // the end of the file
    EXPECT_EQ(zvf::previousChange(file(), 6), 4);          // the start of its own run
    EXPECT_EQ(zvf::previousChange(file(), 4), 3);
    EXPECT_EQ(zvf::previousChange(file(), 2), 0);
    EXPECT_EQ(zvf::previousChange(file(), 0), std::nullopt);
    EXPECT_EQ(zvf::previousChange(file(), 11), std::nullopt);  // not in the file
}

TEST_F(ChangeFinderTest, ADamagedFrameInsideARunIsAChangeAndSoIsTheFrameAfterIt) {
    append(a, 6);
    TZVFFrameEntry e;
    e.Offset = 1'000'000;  // beyond the end of the file
    e.Size = static_cast<int32_t>(a.size());
    e.DateTime = 45'000.0;
    putEntry(2, e);
    e.Offset = 0;
    e.Size = 0;  // no picture, and the size of nothing before it
    putEntry(4, e);
    EXPECT_EQ(zvf::findChanges(file(), 0, 5), (Starts{0, 2, 3, 4, 5}));
    EXPECT_EQ(zvf::nextChange(file(), 0), 2);
}

TEST_F(ChangeFinderTest, ComparesFramesAcrossPiecesAndWhereverTheyAreStored) {
    // Frames of 1,000,000 zero bytes back to back in a sparse file, so that runs span several
    // pieces of reading; two differ by one byte, one at its end and one at its start. Frame 13
    // holds frame 12's bytes stored elsewhere: still the same picture.
    constexpr int32_t kSize = 1'000'000;
    constexpr int32_t kFrames = 20;
    std::vector<uint8_t> header(zvf::kIndexBase + zvf::kEntrySize * kFrames);
    zvf::encodeCount(header.data(), kFrames);
    for (int32_t i = 0; i < kFrames; ++i) {
        TZVFFrameEntry e{int64_t{i} * kSize, 45'000.0 + i, kSize};
        if (i == 13)
            e.Offset = int64_t{kFrames + 1} * kSize;
        zvf::encodeEntry(header.data() + zvf::entryPosition(i), e);
    }
    const uint8_t one = 1;
    const int64_t data = zvf::kDataBase;
    files.setFile("big.zvf",
                  {{0, header.data(), header.size()},
                   {data + 10 * int64_t{kSize} - 1, &one, 1},  // the last byte of frame 9
                   {data + 16 * int64_t{kSize}, &one, 1}},     // the first byte of frame 16
                  data + int64_t{kFrames + 2} * kSize);
    auto big = files.open("big.zvf", zv::FileSystem::OpenMode::Read);
    EXPECT_EQ(zvf::findChanges(*big, 0, kFrames - 1), (Starts{0, 9, 10, 16, 17}));
    EXPECT_EQ(zvf::nextChange(*big, 10), 16);
    EXPECT_EQ(zvf::previousChange(*big, 15), 10);
}

TEST_F(ChangeFinderTest, FollowsAGrowingRecordingAndReportsOnlyNewStarts) {
    append(a, 2);
    zvf::ChangeScanner scanner(file(), 0);
    Starts starts;
    EXPECT_EQ(scanner.scan(zvf::kCapacity, starts), 1);
    EXPECT_EQ(scanner.next(), 2);
    append(a, 3);  // the same screen: nothing new
    EXPECT_EQ(scanner.scan(zvf::kCapacity, starts), 0);
    append(b);
    append(b);
    append(large);
    EXPECT_EQ(scanner.scan(zvf::kCapacity, starts), 2);
    EXPECT_EQ(starts, (Starts{0, 5, 7}));
    EXPECT_EQ(scanner.next(), 8);
    // Stopping at the first start leaves the rest for the next scan.
    append(a);
    append(b);
    starts.clear();
    EXPECT_EQ(scanner.scan(zvf::kCapacity, starts, true), 1);
    EXPECT_EQ(scanner.next(), 9);
    EXPECT_EQ(scanner.scan(zvf::kCapacity, starts, true), 1);
    EXPECT_EQ(starts, (Starts{8, 9}));
    // A cancelled scan examines nothing more.
    append(a);
    const zvf::CancelFlag cancel{true};
    EXPECT_EQ(scanner.scan(zvf::kCapacity, starts, false, &cancel), 0);
    EXPECT_EQ(scanner.next(), 10);
}

TEST(SizeActivity, MarksColumnsWhereASizeChangedAndGrowsEntryByEntry) {
    // Sizes 5 5 5 7 7 7 7 7 9 9: frames 3 and 8 are active.
    std::vector<TZVFFrameEntry> entries(10);
    const int sizes[] = {5, 5, 5, 7, 7, 7, 7, 7, 9, 9};
    for (size_t i = 0; i < entries.size(); ++i)
        entries[i].Size = sizes[i];
    zvf::SizeActivity whole;
    whole.append(entries.data(), entries.size());
    EXPECT_EQ(whole.activeIn(0, 9), 2);
    EXPECT_EQ(whole.activeIn(4, 7), 0);
    EXPECT_EQ(whole.columns(5, 0, 9), (std::vector<uint8_t>{0, 1, 0, 0, 1}));
    EXPECT_EQ(whole.columns(2, 4, 9), (std::vector<uint8_t>{0, 1}));
    // More columns than frames: each frame is drawn in every column it covers.
    EXPECT_EQ(whole.columns(4, 2, 3), (std::vector<uint8_t>{0, 0, 1, 1}));
    EXPECT_EQ(whole.columns(3, 20, 30), (std::vector<uint8_t>{0, 0, 0}));

    zvf::SizeActivity growing;
    for (size_t i = 0; i < entries.size(); i += 3)
        growing.append(entries.data() + i, std::min<size_t>(3, entries.size() - i));
    EXPECT_EQ(growing.columns(10, 0, 9), whole.columns(10, 0, 9));
}

}  // namespace
