#include "viewer/FrameDecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "viewer/Recordings.h"

namespace {

using Outcome = zv::FrameDecoder::Outcome;

std::vector<uint8_t> bytesOf(int k) {
    return zvtest::plainGif(zvtest::frameColour(k), 64, 48);
}

TEST(FrameDecoder, HandsBackThePictureOfTheFrameAskedFor) {
    zv::FrameDecoder decoder;
    zv::GifImage image;
    zv::Status failure;
    EXPECT_EQ(decoder.take(7, image, failure), Outcome::NotAhead);
    EXPECT_TRUE(image.empty());

    std::vector<uint8_t> bytes = bytesOf(7);
    decoder.submit(7, bytes);
    EXPECT_TRUE(decoder.holds(7));
    EXPECT_FALSE(decoder.holds(8));
    ASSERT_EQ(decoder.take(7, image, failure), Outcome::Decoded);
    EXPECT_EQ(image.width(), 64);
    EXPECT_EQ(image.pixels()[0], zvtest::framePixel(7));
    // Taken once: a second take decodes nothing.
    EXPECT_EQ(decoder.take(7, image, failure), Outcome::NotAhead);
    EXPECT_FALSE(decoder.holds(7));
}

TEST(FrameDecoder, HoldsAFewFramesAndMakesRoomForTheLatest) {
    zv::FrameDecoder decoder(2);
    ASSERT_EQ(decoder.capacity(), 3);
    std::vector<uint8_t> bytes;
    for (uint64_t k = 1; k <= 8; ++k) {
        bytes = bytesOf(static_cast<int>(k));
        decoder.submit(k, bytes);
    }
    int held = 0;
    for (uint64_t k = 1; k <= 8; ++k)
        held += decoder.holds(k) ? 1 : 0;
    EXPECT_LE(held, decoder.capacity());
    EXPECT_TRUE(decoder.holds(8));
    zv::GifImage image;
    zv::Status failure;
    // Whatever is still held is the frame it was handed in as.
    for (uint64_t k = 8; k >= 1; --k) {
        if (decoder.take(k, image, failure) == Outcome::Decoded) {
            EXPECT_EQ(image.pixels()[0], zvtest::framePixel(static_cast<int>(k))) << k;
        }
        EXPECT_FALSE(decoder.holds(k));
    }
}

TEST(FrameDecoder, BytesThatAreNoPictureGiveTheReasonAndLeaveTheImage) {
    zv::FrameDecoder decoder;
    zv::GifImage image;
    zv::Status failure;
    std::vector<uint8_t> good = bytesOf(3);
    decoder.submit(3, good);
    ASSERT_EQ(decoder.take(3, image, failure), Outcome::Decoded);

    const std::string junk = "these bytes are no picture";
    std::vector<uint8_t> bad(junk.begin(), junk.end());
    decoder.submit(4, bad);
    ASSERT_EQ(decoder.take(4, image, failure), Outcome::Failed);
    EXPECT_FALSE(failure.ok());
    EXPECT_FALSE(failure.reason().empty());
    EXPECT_EQ(image.pixels()[0], zvtest::framePixel(3));
}

TEST(FrameDecoder, DroppedFramesAreNotHandedBack) {
    zv::FrameDecoder decoder;
    std::vector<uint8_t> bytes = bytesOf(5);
    decoder.submit(5, bytes);
    decoder.drop();
    zv::GifImage image;
    zv::Status failure;
    EXPECT_EQ(decoder.take(5, image, failure), Outcome::NotAhead);
    EXPECT_TRUE(image.empty());
    // The worker goes on serving after a drop.
    bytes = bytesOf(6);
    decoder.submit(6, bytes);
    ASSERT_EQ(decoder.take(6, image, failure), Outcome::Decoded);
    EXPECT_EQ(image.pixels()[0], zvtest::framePixel(6));
}

TEST(FrameDecoder, BuffersGoRoundWithoutMixingFrames) {
    // The owner's buffers and the worker's are swapped on every submit and take; every picture
    // must still be the one asked for, also when takes and drops come at any moment.
    zv::FrameDecoder decoder;
    std::vector<std::vector<uint8_t>> gifs;
    for (int k = 0; k < 8; ++k)
        gifs.push_back(bytesOf(k));
    zv::GifImage image;
    zv::Status failure;
    std::vector<uint8_t> bytes;
    for (int round = 0; round < 400; ++round) {
        const int k = round % 8;
        bytes = gifs[static_cast<size_t>(k)];
        decoder.submit(static_cast<uint64_t>(round), bytes);
        if (round % 7 == 3) {
            decoder.drop();
            continue;
        }
        if (round % 5 == 1)
            continue;  // not asked for: replaced by the next
        ASSERT_EQ(decoder.take(static_cast<uint64_t>(round), image, failure), Outcome::Decoded)
            << round;
        ASSERT_EQ(image.pixels()[0], zvtest::framePixel(k)) << round;
    }
}

TEST(FrameDecoder, EndsWhileAFrameIsUnderWay) {
    std::vector<uint8_t> bytes = zvtest::plainGif(zvtest::frameColour(1), 1920, 1080);
    zv::FrameDecoder decoder;
    decoder.submit(1, bytes);
}

}  // namespace
