#include "support/XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

extern char **environ;

namespace zvtest {

XServer::XServer(int width, int height, int depth) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        throw std::runtime_error("pipe failed");
    const std::string fd = std::to_string(pipeFds[1]);
    const std::string screen =
        std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    std::vector<std::string> args = {"Xvfb", "-displayfd", fd,    "-screen", "0",
                                     screen, "-nolisten",  "tcp", "-noreset"};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, "Xvfb", nullptr, nullptr, argv.data(), environ);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        throw std::runtime_error("cannot start Xvfb");
    }
    pid_ = pid;
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    pollfd p{pipeFds[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos && ::poll(&p, 1, 15'000) > 0) {
        char buffer[16];
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        number.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
    if (number.find('\n') == std::string::npos) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        throw std::runtime_error("Xvfb did not come up");
    }
    display_ = ":" + number.substr(0, number.find('\n'));
}

XServer::~XServer() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

double processCpuMs(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15)
            ticks += std::stod(field);
    }
    return ticks * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

ScopedDisplay::ScopedDisplay(const std::string &display) {
    if (const char *old = std::getenv("DISPLAY")) {
        had_ = true;
        previous_ = old;
    }
    if (display.empty())
        ::unsetenv("DISPLAY");
    else
        ::setenv("DISPLAY", display.c_str(), 1);
}

ScopedDisplay::~ScopedDisplay() {
    if (had_)
        ::setenv("DISPLAY", previous_.c_str(), 1);
    else
        ::unsetenv("DISPLAY");
}

RootPicture::RootPicture(const std::string &displayName) {
    int screenNumber = 0;
    connection_ = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &screenNumber);
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        throw std::runtime_error("no X display");
    }
    const xcb_setup_t *setup = xcb_get_setup(connection_);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    const xcb_screen_t *screen = it.data;
    root_ = screen->root;
    width_ = screen->width_in_pixels;
    height_ = screen->height_in_pixels;
    depth_ = screen->root_depth;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == depth_)
            bitsPerPixel_ = f.data->bits_per_pixel;
    }
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen->root_visual) {
                masks_[0] = v.data->red_mask;
                masks_[1] = v.data->green_mask;
                masks_[2] = v.data->blue_mask;
            }
        }
    }
}

RootPicture::~RootPicture() {
    xcb_disconnect(connection_);
}

uint32_t RootPicture::pixelOf(uint32_t rgb) const {
    uint32_t pixel = 0;
    for (int c = 0; c < 3; ++c) {
        const uint32_t value = (rgb >> (16 - 8 * c)) & 0xFF;
        const int shift = std::countr_zero(masks_[c]);
        const uint32_t max = masks_[c] >> shift;
        pixel |= ((value * max + 127) / 255) << shift;
    }
    return pixel;
}

void RootPicture::sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void RootPicture::fill(uint32_t rgb) {
    const uint32_t pixel = pixelOf(rgb);
    xcb_change_window_attributes(connection_, root_, XCB_CW_BACK_PIXEL, &pixel);
    xcb_clear_area(connection_, 0, root_, 0, 0, 0, 0);
    sync();
}

void RootPicture::show(const uint32_t *pixels, int width, int height, size_t stride) {
    xcb_connection_t *c = connection_;
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, static_cast<uint8_t>(depth_), pixmap, root_, static_cast<uint16_t>(width),
                      static_cast<uint16_t>(height));
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, pixmap, 0, nullptr);
    // Rows in bands that fit in one request.
    const int bytesPerPixel = bitsPerPixel_ / 8;
    const size_t rowBytes = (static_cast<size_t>(width) * bytesPerPixel + 3) / 4 * 4;
    const size_t maxBytes = xcb_get_maximum_request_length(c) * 4 - 64;
    const int band = std::max(1, static_cast<int>(maxBytes / rowBytes));
    std::vector<uint8_t> data;
    for (int top = 0; top < height; top += band) {
        const int rows = std::min(band, height - top);
        data.assign(rowBytes * rows, 0);
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint32_t pixel = pixelOf(pixels[(top + y) * stride + x] & 0xFFFFFF);
                std::memcpy(&data[y * rowBytes + x * bytesPerPixel], &pixel, bytesPerPixel);
            }
        }
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, static_cast<uint16_t>(width),
                      static_cast<uint16_t>(rows), 0, static_cast<int16_t>(top), 0,
                      static_cast<uint8_t>(depth_), static_cast<uint32_t>(data.size()),
                      data.data());
    }
    xcb_change_window_attributes(c, root_, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(c, 0, root_, 0, 0, 0, 0);
    xcb_free_gc(c, gc);
    xcb_free_pixmap(c, pixmap);
    sync();
}

}  // namespace zvtest
