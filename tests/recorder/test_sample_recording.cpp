#include "recorder/SampleRecording.h"

#include <gtest/gtest.h>

#include <set>

#include "container/ZVFformatUnit.h"
#include "platform/DateTime.h"
#include "platform/Error.h"
#include "support/TempRoot.h"

namespace {

std::set<uint32_t> coloursOf(const zv::GifImage &image) {
    return {image.pixels(), image.pixels() + static_cast<size_t>(image.width()) * image.height()};
}

}  // namespace

TEST(SampleRecording, WritesDecodableChangingScreens) {
    zvtest::TempRoot root;
    SampleOptions o;
    o.frames = 6;
    o.delayMs = 500;
    o.width = 320;
    o.height = 240;
    o.quality = 4;
    o.start = 40543.5;
    writeSampleRecording(root.file("s.zvf"), o);

    TZVFFormat zvf(root.file("s.zvf"));
    ASSERT_EQ(zvf.FrameCount(), 6);
    auto entries = zvf.ReadFrameEntries(0, 6);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(zv::formatDateTimeIso(entries[0].DateTime), "2010-12-31 12:00:00.000");
    EXPECT_EQ(zv::formatDateTimeIso(entries[5].DateTime), "2010-12-31 12:00:02.500");
    zv::GifImage first, last;
    ASSERT_TRUE(zvf.LoadFrame(0, first));
    ASSERT_TRUE(zvf.LoadFrame(5, last));
    EXPECT_EQ(first.width(), 320);
    EXPECT_EQ(first.height(), 240);
    // Quality 4 is 16 colours; a real screen uses several of them, not one flat fill.
    auto colours = coloursOf(first);
    EXPECT_LE(colours.size(), 16u);
    EXPECT_GE(colours.size(), 4u);
    // The clock and the sales move: frames differ.
    EXPECT_NE(std::vector<uint32_t>(first.pixels(), first.pixels() + 320 * 240),
              std::vector<uint32_t>(last.pixels(), last.pixels() + 320 * 240));

    // Rendering is deterministic for a given date-time and frame number.
    EXPECT_EQ(renderSampleScreen(200, 150, 40543.5, 7), renderSampleScreen(200, 150, 40543.5, 7));

    // Replaced unless appending; appending continues the recording.
    o.frames = 2;
    writeSampleRecording(root.file("s.zvf"), o);
    EXPECT_EQ(zvf.FrameCount(), 2);
    o.append = true;
    o.quality = 8;
    writeSampleRecording(root.file("s.zvf"), o);
    EXPECT_EQ(zvf.FrameCount(), 4);
    zv::GifImage rich;
    ASSERT_TRUE(zvf.LoadFrame(3, rich));
    EXPECT_GT(coloursOf(rich).size(), 16u);
}

TEST(SampleRecording, BadOptionsAreRefused) {
    zvtest::TempRoot root;
    auto with = [](auto change) {
        SampleOptions o;
        o.frames = 1;
        change(o);
        return o;
    };
    const std::string file = root.file("bad.zvf");
    EXPECT_THROW(writeSampleRecording(file, with([](SampleOptions &o) { o.frames = -1; })),
                 zv::Error);
    EXPECT_THROW(writeSampleRecording(file, with([](SampleOptions &o) { o.frames = 499'901; })),
                 zv::Error);
    EXPECT_THROW(writeSampleRecording(file, with([](SampleOptions &o) { o.quality = 5; })),
                 zv::Error);
    EXPECT_THROW(writeSampleRecording(file, with([](SampleOptions &o) { o.width = 8; })),
                 zv::Error);
    EXPECT_THROW(writeSampleRecording(file, with([](SampleOptions &o) { o.delayMs = -1; })),
                 zv::Error);
}

TEST(SampleRecording, DateTimesAreTheValuesOfTheirTexts) {
    // A time copied from a listing must name its frame: the stored date-time is what the text
    // parses to, not a sum of steps that lies a bit above it.
    zvtest::TempRoot root;
    SampleOptions o;
    o.frames = 40;
    o.width = 16;
    o.height = 16;
    o.quality = 4;
    o.start = zv::parseDateTimeIso("2024-03-10 08:15:30");
    for (int delay : {500, 333, 40}) {
        SCOPED_TRACE(delay);
        o.delayMs = delay;
        writeSampleRecording(root.file("t.zvf"), o);
        TZVFFormat zvf(root.file("t.zvf"));
        const auto entries = zvf.ReadFrameEntries(0, o.frames);
        ASSERT_EQ(entries.size(), 40u);
        for (size_t k = 0; k < entries.size(); ++k) {
            const std::string text = zv::formatDateTimeIso(entries[k].DateTime);
            EXPECT_EQ(*zv::parseDateTimeIso(text), entries[k].DateTime) << k << " " << text;
        }
        EXPECT_EQ(zv::formatDateTimeIso(entries[3].DateTime),
                  zv::formatDateTimeIso(*o.start + 3 * delay / 86'400'000.0));
    }
}
