// Which capture a session gets, how a Wayland session without one fails and retries, and how
// the compositor's pixel formats read as 0x00RRGGBB.
#include <gtest/gtest.h>

#include <cstring>

#include <spa/param/video/raw.h>

#include "platform/PortalScreenCapture.h"
#include "platform/ScreenSourceChoice.h"
#include "platform/WaylandScreenCapture.h"
#include "support/Fakes.h"

namespace {

using zvtest::FakeClock;
using zvtest::FakeScreenSource;

std::string failureOf(zv::ScreenSource &source) {
    try {
        source.grab();
    } catch (const zv::Error &e) {
        return e.what();
    }
    return {};
}

// A way that opens only when allowed, into a fake screen that the test can make fail.
struct Way {
    bool works = false;
    int opened = 0;
    FakeScreenSource *screen = nullptr;

    zv::CaptureWay named(const std::string &name, const std::string &refusal) {
        return {name, [this, refusal] {
                    ++opened;
                    if (!works)
                        throw zv::Error(refusal);
                    auto s = std::make_unique<FakeScreenSource>(4, 3, 0x123456);
                    screen = s.get();
                    return std::unique_ptr<zv::ScreenSource>(std::move(s));
                }};
    }
};

}  // namespace

TEST(DesktopSession, WaylandByEitherVariableAndDescribed) {
    EXPECT_FALSE((zv::DesktopSession{"", "x11", ":0"}.isWayland()));
    EXPECT_FALSE((zv::DesktopSession{"", "", ""}.isWayland()));
    EXPECT_TRUE((zv::DesktopSession{"wayland-0", "", ":0"}.isWayland()));
    EXPECT_TRUE((zv::DesktopSession{"", "wayland", ""}.isWayland()));
    EXPECT_EQ((zv::DesktopSession{"wayland-1", "", ":0"}.describe()),
              "Wayland (WAYLAND_DISPLAY=wayland-1, DISPLAY=:0)");
    EXPECT_EQ((zv::DesktopSession{"", "", ":3"}.describe()), "X11 (DISPLAY=:3)");
}

TEST(FallbackScreenSource, NamesWhatFailedTakesNoPictureAndRetriesEveryTenSeconds) {
    FakeClock clock(1000);
    Way first, second;
    zv::FallbackScreenSource source(
        "Wayland (WAYLAND_DISPLAY=w)",
        {first.named("первый", "нет протокола"), second.named("второй", "отказано")}, clock);
    EXPECT_EQ(first.opened, 1);
    EXPECT_EQ(second.opened, 1);
    const std::string problem = source.problem();
    EXPECT_NE(problem.find("Сеанс Wayland (WAYLAND_DISPLAY=w)"), std::string::npos) << problem;
    EXPECT_NE(problem.find("первый: нет протокола; второй: отказано"), std::string::npos)
        << problem;
    EXPECT_NE(std::string(source.method()).find("нет"), std::string::npos);

    // Grabs within the 10 s fail at once with the same reason and try nothing.
    clock.advance(9999);
    EXPECT_EQ(failureOf(source), problem);
    EXPECT_EQ(first.opened, 1);

    // After 10 s both are tried again; the second works now and is used.
    second.works = true;
    clock.advance(1);
    const zv::ScreenImage image = source.grab();
    EXPECT_EQ(first.opened, 2);
    EXPECT_EQ(second.opened, 2);
    EXPECT_EQ(image.width, 4);
    EXPECT_EQ(image.pixels[0], 0x123456u);
    EXPECT_TRUE(source.problem().empty());
    EXPECT_EQ(std::string(source.method()), "второй (fake)");

    // The way in use breaks: the failure is reported, and the next grab tries again at once.
    second.screen->failWith("связь потеряна");
    EXPECT_NE(failureOf(source).find("связь потеряна"), std::string::npos);
    EXPECT_EQ(source.grab().height, 3);
    EXPECT_EQ(second.opened, 3);
}

// A way whose source waits (a permission being asked) until told, then gives pictures, or fails.
struct WaitingSource : zv::ScreenSource {
    std::string *state;
    uint32_t pixel = 0x010203;
    explicit WaitingSource(std::string *s) : state(s) {}
    zv::ScreenImage grab() override {
        if (*state == "waiting")
            throw zv::CaptureNotReady("ожидается разрешение");
        if (*state == "refused")
            throw zv::Error("отказано");
        return {&pixel, 1, 1, 1};
    }
    const char *method() const override { return "waiting"; }
};

TEST(FallbackScreenSource, KeepsAWaitingWayAndAsksARefusingOneAgainOnlyAfterTheInterval) {
    FakeClock clock;
    std::string state = "waiting";
    int opened = 0;
    zv::FallbackScreenSource source("Wayland",
                                    {{"портал",
                                      [&] {
                                          ++opened;
                                          return std::make_unique<WaitingSource>(&state);
                                      }}},
                                    clock);
    for (int i = 0; i < 3; ++i) {
        try {
            source.grab();
            FAIL() << "a picture while waiting";
        } catch (const zv::CaptureNotReady &e) {
            EXPECT_NE(std::string(e.what()).find("Сеанс Wayland: ожидается разрешение"),
                      std::string::npos);
        }
    }
    EXPECT_EQ(opened, 1);

    // Refused before any picture: not asked again before 10 s, then asked again.
    state = "refused";
    EXPECT_NE(failureOf(source).find("отказано"), std::string::npos);
    state = "granted";
    clock.advance(5000);
    EXPECT_NE(failureOf(source).find("отказано"), std::string::npos);
    EXPECT_EQ(opened, 1);
    clock.advance(5000);
    EXPECT_EQ(source.grab().pixels[0], 0x010203u);
    EXPECT_EQ(opened, 2);
}

TEST(FallbackScreenSource, ARealWaylandSessionWithoutACompositorFailsWithoutThrowingAtStart) {
    FakeClock clock;
    const auto source =
        zv::makeSessionScreenSource({"/nonexistent/zorvideo-no-compositor", "wayland", ""}, clock);
    const std::string failure = failureOf(*source);
    EXPECT_NE(failure.find("zwlr_screencopy_manager_v1"), std::string::npos) << failure;
    EXPECT_NE(failure.find("/nonexistent/zorvideo-no-compositor"), std::string::npos) << failure;
}

TEST(ShmFormats, EveryOfferedLayoutReadsAsXrgb) {
    // One pixel of colour R=0x20 G=0x80 B=0xF0 in each format, as the bytes lie in memory.
    struct Case {
        uint32_t format;
        std::vector<uint8_t> bytes;
        uint32_t expected;
    };
    const std::vector<Case> cases = {
        {0, {0xF0, 0x80, 0x20, 0xFF}, 0x2080F0},           // ARGB8888
        {1, {0xF0, 0x80, 0x20, 0x00}, 0x2080F0},           // XRGB8888
        {0x34324258, {0x20, 0x80, 0xF0, 0x00}, 0x2080F0},  // XBGR8888
        {0x34325852, {0x00, 0xF0, 0x80, 0x20}, 0x2080F0},  // RGBX8888
        {0x34325842, {0x00, 0x20, 0x80, 0xF0}, 0x2080F0},  // BGRX8888
        {0x34324752, {0xF0, 0x80, 0x20}, 0x2080F0},        // RGB888
        {0x34324742, {0x20, 0x80, 0xF0}, 0x2080F0},        // BGR888
        {0x36314752, {0x00, 0xF8}, 0xFF0000},              // RGB565, pure red
        // XRGB2101010: R=0x3FF G=0 B=0x200 -> FF 00 80
        {0x30335258, {0x00, 0x02, 0xF0, 0x3F}, 0xFF0080},
    };
    for (const Case &c : cases) {
        const auto layout = zv::pixelLayoutOfShmFormat(c.format);
        ASSERT_TRUE(layout.has_value()) << std::hex << c.format;
        uint32_t out = 0;
        zv::convertToXrgb(c.bytes.data(), *layout, 1, 1, c.bytes.size(), &out);
        EXPECT_EQ(out, c.expected) << std::hex << c.format;
        EXPECT_EQ(layout->isNativeXrgb(), c.format <= 1) << std::hex << c.format;
    }
    EXPECT_FALSE(zv::pixelLayoutOfShmFormat(0x56595559).has_value());  // YUYV
}

TEST(VideoFormats, PipeWiresLayoutsReadAsXrgb) {
    // R=0x20 G=0x80 B=0xF0, the bytes in memory in the order the format's name gives.
    const std::vector<std::pair<uint32_t, std::vector<uint8_t>>> cases = {
        {SPA_VIDEO_FORMAT_BGRx, {0xF0, 0x80, 0x20, 0x00}},
        {SPA_VIDEO_FORMAT_BGRA, {0xF0, 0x80, 0x20, 0xFF}},
        {SPA_VIDEO_FORMAT_RGBx, {0x20, 0x80, 0xF0, 0x00}},
        {SPA_VIDEO_FORMAT_RGBA, {0x20, 0x80, 0xF0, 0xFF}},
        {SPA_VIDEO_FORMAT_xRGB, {0x00, 0x20, 0x80, 0xF0}},
        {SPA_VIDEO_FORMAT_ARGB, {0xFF, 0x20, 0x80, 0xF0}},
        {SPA_VIDEO_FORMAT_xBGR, {0x00, 0xF0, 0x80, 0x20}},
        {SPA_VIDEO_FORMAT_ABGR, {0xFF, 0xF0, 0x80, 0x20}},
        {SPA_VIDEO_FORMAT_RGB, {0x20, 0x80, 0xF0}},
        {SPA_VIDEO_FORMAT_BGR, {0xF0, 0x80, 0x20}},
    };
    for (const auto &[format, bytes] : cases) {
        const auto layout = zv::pixelLayoutOfVideoFormat(format);
        ASSERT_TRUE(layout.has_value()) << format;
        uint32_t out = 0;
        zv::convertToXrgb(bytes.data(), *layout, 1, 1, bytes.size(), &out);
        EXPECT_EQ(out, 0x2080F0u) << format;
    }
    EXPECT_FALSE(zv::pixelLayoutOfVideoFormat(SPA_VIDEO_FORMAT_NV12).has_value());
}
