// The compositor's screen copy against a real headless sway: the pictures of its outputs, laid
// out as sway places them, following an output that comes.
#include <gtest/gtest.h>
#include <wayland-client.h>

#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <functional>
#include <stdexcept>

#include "platform/Error.h"
#include "platform/WaylandScreenCapture.h"
#include "support/Sway.h"
#include "support/WaitFor.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

using zvtest::waitFor;

// A pointer device of the test's own on the compositor's seat, put at a place of the output: the
// headless compositor has no pointer of its own. Keeps its connection while it lives.
class VirtualPointer {
public:
    VirtualPointer(const std::string &socket, uint32_t x, uint32_t y, uint32_t width,
                   uint32_t height) {
        display_ = wl_display_connect(socket.c_str());
        if (!display_)
            throw std::runtime_error("no compositor at " + socket);
        wl_registry *registry = wl_display_get_registry(display_);
        wl_registry_add_listener(registry, &kListener, this);
        wl_display_roundtrip(display_);
        if (!manager_ || !seat_)
            throw std::runtime_error("no virtual pointer offered");
        pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager_, seat_);
        zwlr_virtual_pointer_v1_motion_absolute(pointer_, 0, x, y, width, height);
        zwlr_virtual_pointer_v1_frame(pointer_);
        wl_display_roundtrip(display_);
        wl_registry_destroy(registry);
    }
    ~VirtualPointer() {
        zwlr_virtual_pointer_v1_destroy(pointer_);
        zwlr_virtual_pointer_manager_v1_destroy(manager_);
        wl_seat_destroy(seat_);
        wl_display_disconnect(display_);
    }
    VirtualPointer(const VirtualPointer &) = delete;
    VirtualPointer &operator=(const VirtualPointer &) = delete;

private:
    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface,
                       uint32_t) {
        auto *self = static_cast<VirtualPointer *>(data);
        const std::string what = interface;
        if (what == wl_seat_interface.name && !self->seat_)
            self->seat_ =
                static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        if (what == zwlr_virtual_pointer_manager_v1_interface.name)
            self->manager_ = static_cast<zwlr_virtual_pointer_manager_v1 *>(
                wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
    static void globalRemove(void *, wl_registry *, uint32_t) {}
    static constexpr wl_registry_listener kListener = {global, globalRemove};

    wl_display *display_ = nullptr;
    wl_seat *seat_ = nullptr;
    zwlr_virtual_pointer_manager_v1 *manager_ = nullptr;
    zwlr_virtual_pointer_v1 *pointer_ = nullptr;
};

// Pixels of the picture within the box that are not of the colour.
int othersAround(const zv::ScreenImage &image, int left, int top, int size, uint32_t colour);

uint32_t at(const zv::ScreenImage &image, int x, int y) {
    return image.pixels[static_cast<size_t>(y) * image.stride + static_cast<size_t>(x)] & 0xFFFFFF;
}

int othersAround(const zv::ScreenImage &image, int left, int top, int size, uint32_t colour) {
    int others = 0;
    for (int y = top; y < std::min(image.height, top + size); ++y) {
        for (int x = left; x < std::min(image.width, left + size); ++x)
            others += at(image, x, y) != colour;
    }
    return others;
}

}  // namespace

TEST(WaylandScreenCopy, ThePointerIsDrawnIn) {
    std::string missing;
    if (!zvtest::Sway::available(missing))
        GTEST_SKIP() << missing;
    zvtest::Sway sway(320, 200, 0x3366CC);
    const auto withPointer = zv::makeWaylandScreenCopySource(sway.socketPath());
    VirtualPointer pointer(sway.socketPath(), 160, 100, 320, 200);
    // The pointer's picture hangs from its hot spot, down and to the right.
    EXPECT_TRUE(waitFor(
        [&] { return othersAround(withPointer->grab(), 150, 90, 40, 0x3366CC) > 20; }, 30'000));
    // (A headless compositor draws the pointer into the output itself, so leaving it out of the
    // copy cannot be seen here.)
    // Far from the pointer the picture is the background alone.
    EXPECT_EQ(othersAround(withPointer->grab(), 0, 0, 100, 0x3366CC), 0);
}

TEST(WaylandScreenCopy, OutputsInOnePictureWhereTheCompositorPlacesThem) {
    std::string missing;
    if (!zvtest::Sway::available(missing))
        GTEST_SKIP() << missing;
    zvtest::Sway sway(320, 200, 0x3366CC);
    const auto source = zv::makeWaylandScreenCopySource(sway.socketPath());
    EXPECT_STREQ(source->method(), "zwlr_screencopy_manager_v1");
    // The compositor paints its background a moment after it comes up (its own grey before).
    zv::ScreenImage image;
    ASSERT_TRUE(waitFor(
        [&] {
            image = source->grab();
            return image.width == 320 && image.height == 200 && at(image, 0, 0) == 0x3366CC;
        },
        30'000))
        << image.width << "x" << image.height;
    EXPECT_EQ(at(image, 319, 199), 0x3366CCu);

    // A second output of its own colour, below and to the right of the first.
    ASSERT_TRUE(sway.message({"create_output"}));
    ASSERT_TRUE(sway.message({"output", "HEADLESS-2", "bg", "#C03020", "solid_color"}));
    ASSERT_TRUE(sway.message({"output", "HEADLESS-1", "position", "0", "0"}));
    ASSERT_TRUE(sway.message({"output", "HEADLESS-2", "position", "160", "200"}));
    ASSERT_TRUE(waitFor(
        [&] {
            image = source->grab();
            // Both outputs painted anew after the move (each shows the compositor's grey for a
            // moment when the layout changes).
            return image.width == 480 && image.height == 400 && at(image, 479, 399) == 0xC03020 &&
                   at(image, 0, 0) == 0x3366CC && at(image, 319, 199) == 0x3366CC;
        },
        30'000))
        << image.width << "x" << image.height;
    EXPECT_EQ(at(image, 0, 0), 0x3366CCu);
    EXPECT_EQ(at(image, 319, 199), 0x3366CCu);
    EXPECT_EQ(at(image, 160, 200), 0xC03020u);
    EXPECT_EQ(at(image, 479, 0), 0u);  // beside the first output, above the second: no screen
    EXPECT_EQ(at(image, 0, 399), 0u);  // below the first, left of the second
}

TEST(WaylandScreenCopy, NoCompositorThereIsAnErrorNotAPicture) {
    try {
        zv::makeWaylandScreenCopySource("/nonexistent/zorvideo-wayland-0");
        FAIL() << "a source without a compositor";
    } catch (const zv::Error &e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/zorvideo-wayland-0"), std::string::npos);
    }
}
