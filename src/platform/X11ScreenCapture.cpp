// The screen of an X display over xcb: the root window as a ZPixmap image, through a shared
// memory segment that the server writes into (MIT-SHM) or, without it, through GetImage; the
// pointer's picture from XFixes drawn over it.
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Error.h"
#include "platform/PointerImage.h"
#include "platform/ScreenCapture.h"
#include "platform/Xcb.h"

namespace zv {

bool PixelLayout::isNativeXrgb() const {
    return bitsPerPixel == 32 && msbFirst == (std::endian::native == std::endian::big) &&
           redMask == 0xFF0000 && greenMask == 0xFF00 && blueMask == 0xFF;
}

namespace {

// One channel of a pixel value: the masked bits moved down and widened to 0..255.
struct Channel {
    int shift = 0;
    uint32_t max = 0;

    explicit Channel(uint32_t mask) {
        if (mask == 0)
            throw Error("Неподдерживаемый формат изображения экрана");
        shift = std::countr_zero(mask);
        max = mask >> shift;
    }
    uint32_t of(uint32_t value) const { return (((value >> shift) & max) * 255 + max / 2) / max; }
};

uint32_t pixelAt(const uint8_t *p, int bytes, bool msbFirst) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint32_t{p[i]} << (8 * (msbFirst ? bytes - 1 - i : i));
    return v;
}

}  // namespace

void convertToXrgb(const uint8_t *data, const PixelLayout &layout, int width, int height,
                   size_t bytesPerLine, uint32_t *out) {
    if (layout.bitsPerPixel != 16 && layout.bitsPerPixel != 24 && layout.bitsPerPixel != 32)
        throw Error("Неподдерживаемый формат изображения экрана: " +
                    std::to_string(layout.bitsPerPixel) + " бит на точку");
    const Channel red(layout.redMask), green(layout.greenMask), blue(layout.blueMask);
    const int bytes = layout.bitsPerPixel / 8;
    for (int y = 0; y < height; ++y) {
        const uint8_t *row = data + static_cast<size_t>(y) * bytesPerLine;
        uint32_t *to = out + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            const uint32_t v =
                pixelAt(row + static_cast<size_t>(x) * bytes, bytes, layout.msbFirst);
            to[x] = (red.of(v) << 16) | (green.of(v) << 8) | blue.of(v);
        }
    }
}

namespace {

using xcb::Reply;

// A System V shared memory segment attached here and by the server. It is marked for removal
// as soon as both have attached, so that it goes away with the last user even after kill -9.
class SharedSegment {
public:
    SharedSegment() = default;
    SharedSegment(const SharedSegment &) = delete;
    SharedSegment &operator=(const SharedSegment &) = delete;
    ~SharedSegment() { release(); }

    // Attaches a segment of size bytes; false when this or the server cannot.
    bool attach(xcb_connection_t *c, size_t size);
    void release();
    uint8_t *data() const { return data_; }
    size_t size() const { return size_; }
    xcb_shm_seg_t segment() const { return segment_; }

private:
    xcb_connection_t *c_ = nullptr;
    uint8_t *data_ = nullptr;
    size_t size_ = 0;
    xcb_shm_seg_t segment_ = 0;
};

bool SharedSegment::attach(xcb_connection_t *c, size_t size) {
    release();
    const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0)
        return false;
    // Writable: the pointer is drawn into the picture where it lies.
    void *address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void *>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    const xcb_shm_seg_t segment = xcb_generate_id(c);
    Reply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_shm_attach_checked(c, segment, static_cast<uint32_t>(id), 0)));
    shmctl(id, IPC_RMID, nullptr);
    if (error || xcb_connection_has_error(c)) {
        shmdt(address);
        return false;
    }
    c_ = c;
    data_ = static_cast<uint8_t *>(address);
    size_ = size;
    segment_ = segment;
    return true;
}

void SharedSegment::release() {
    if (!data_)
        return;
    if (!xcb_connection_has_error(c_))
        xcb_shm_detach(c_, segment_);
    shmdt(data_);
    data_ = nullptr;
    size_ = 0;
}

class X11ScreenSource final : public ScreenSource {
public:
    X11ScreenSource(xcb::Display display, bool allowSharedMemory, bool drawPointer);
    ScreenImage grab() override;
    const char *method() const override { return useShm_ ? "MIT-SHM" : "GetImage"; }

private:
    // Where the pixels of a w x h image of the root lie, with bytesPerLine, or null on failure.
    uint8_t *readRoot(int w, int h);
    uint8_t *readShared(int w, int h, size_t bytes);
    uint8_t *readPlain(int w, int h);
    // Draws the pointer of the answer to cookie over the picture.
    void drawPointerOf(xcb_xfixes_get_cursor_image_cookie_t cookie, const ScreenImage &image);
    size_t bytesPerLine(int w) const;

    xcb::Connection connection_;
    xcb_screen_t *screen_;
    PixelLayout layout_;
    int scanlinePad_ = 32;
    bool useShm_ = false;
    bool usePointer_ = false;  // drawing the pointer is asked for and XFixes is there
    SharedSegment shm_;
    Reply<xcb_get_image_reply_t> plain_;  // the last GetImage answer, kept while it is shown
    std::vector<uint32_t> converted_;
};

X11ScreenSource::X11ScreenSource(xcb::Display display, bool allowSharedMemory, bool drawPointer)
    : connection_(std::move(display.connection)), screen_(display.screen) {
    xcb_connection_t *c = connection_.get();
    const xcb_setup_t *setup = xcb_get_setup(c);
    layout_.msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == screen_->root_depth) {
            layout_.bitsPerPixel = f.data->bits_per_pixel;
            scanlinePad_ = f.data->scanline_pad;
        }
    }
    for (auto d = xcb_screen_allowed_depths_iterator(screen_); d.rem; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen_->root_visual) {
                layout_.redMask = v.data->red_mask;
                layout_.greenMask = v.data->green_mask;
                layout_.blueMask = v.data->blue_mask;
            }
        }
    }
    if (allowSharedMemory) {
        Reply<xcb_shm_query_version_reply_t> version(
            xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
        useShm_ = version != nullptr;
    }
    if (drawPointer) {
        // XFixes 4 gives the pointer's picture with its position; the version must be asked
        // before any other request of the extension.
        Reply<xcb_xfixes_query_version_reply_t> version(
            xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
        usePointer_ = version && version->major_version >= 1;
    }
}

size_t X11ScreenSource::bytesPerLine(int w) const {
    const size_t bits = static_cast<size_t>(w) * static_cast<size_t>(layout_.bitsPerPixel);
    const size_t pad = static_cast<size_t>(scanlinePad_);
    return (bits + pad - 1) / pad * pad / 8;
}

uint8_t *X11ScreenSource::readShared(int w, int h, size_t bytes) {
    xcb_connection_t *c = connection_.get();
    if (shm_.size() < bytes && !shm_.attach(c, bytes)) {
        useShm_ = false;  // a remote display or no segments left: GetImage from now on
        return nullptr;
    }
    Reply<xcb_shm_get_image_reply_t> reply(
        xcb_shm_get_image_reply(c,
                                xcb_shm_get_image(c, screen_->root, 0, 0, static_cast<uint16_t>(w),
                                                  static_cast<uint16_t>(h), ~0u,
                                                  XCB_IMAGE_FORMAT_Z_PIXMAP, shm_.segment(), 0),
                                nullptr));
    return reply ? shm_.data() : nullptr;
}

uint8_t *X11ScreenSource::readPlain(int w, int h) {
    xcb_connection_t *c = connection_.get();
    plain_.reset(
        xcb_get_image_reply(c,
                            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen_->root, 0, 0,
                                          static_cast<uint16_t>(w), static_cast<uint16_t>(h), ~0u),
                            nullptr));
    if (!plain_ || static_cast<size_t>(xcb_get_image_data_length(plain_.get())) <
                       bytesPerLine(w) * static_cast<size_t>(h))
        return nullptr;
    return xcb_get_image_data(plain_.get());
}

uint8_t *X11ScreenSource::readRoot(int w, int h) {
    const size_t bytes = bytesPerLine(w) * static_cast<size_t>(h);
    if (useShm_) {
        if (uint8_t *data = readShared(w, h, bytes))
            return data;
    }
    return readPlain(w, h);
}

void X11ScreenSource::drawPointerOf(xcb_xfixes_get_cursor_image_cookie_t cookie,
                                    const ScreenImage &image) {
    Reply<xcb_xfixes_get_cursor_image_reply_t> cursor(
        xcb_xfixes_get_cursor_image_reply(connection_.get(), cookie, nullptr));
    // No answer (the pointer on another screen of the display): a frame without it.
    if (!cursor || xcb_xfixes_get_cursor_image_cursor_image_length(cursor.get()) <
                       int{cursor->width} * int{cursor->height})
        return;
    PointerImage pointer;
    pointer.argb = xcb_xfixes_get_cursor_image_cursor_image(cursor.get());
    pointer.width = cursor->width;
    pointer.height = cursor->height;
    pointer.left = cursor->x - cursor->xhot;
    pointer.top = cursor->y - cursor->yhot;
    // The picture's pixels are this source's own (the shared segment, the GetImage answer or
    // the converted copy), so the pointer is drawn in place.
    drawPointer(const_cast<uint32_t *>(image.pixels), image.width, image.height, image.stride,
                pointer);
}

ScreenImage X11ScreenSource::grab() {
    xcb_connection_t *c = connection_.get();
    if (xcb_connection_has_error(c))
        throw Error("Потеряна связь с дисплеем X11");
    // Asked first, answered while the screen is read.
    xcb_xfixes_get_cursor_image_cookie_t pointer{};
    if (usePointer_)
        pointer = xcb_xfixes_get_cursor_image(c);
    // The root follows the screen size (RandR), so ask for it every time.
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, screen_->root), nullptr));
    if (!geometry || geometry->width == 0 || geometry->height == 0) {
        if (usePointer_)
            xcb_discard_reply(c, pointer.sequence);
        throw Error("Не удается получить размер экрана X11");
    }
    const int w = geometry->width, h = geometry->height;
    uint8_t *data = readRoot(w, h);
    if (!data) {
        if (usePointer_)
            xcb_discard_reply(c, pointer.sequence);
        throw Error("Не удается снять изображение экрана X11");
    }
    const size_t line = bytesPerLine(w);
    ScreenImage image;
    if (layout_.isNativeXrgb()) {
        image = {reinterpret_cast<const uint32_t *>(data), w, h, line / 4};
    } else {
        converted_.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
        convertToXrgb(data, layout_, w, h, line, converted_.data());
        image = {converted_.data(), w, h, static_cast<size_t>(w)};
    }
    if (usePointer_)
        drawPointerOf(pointer, image);
    return image;
}

}  // namespace

std::unique_ptr<ScreenSource> makeX11ScreenSource(const std::string &displayName,
                                                  bool allowSharedMemory, bool drawPointer) {
    xcb::Display display = xcb::connect(displayName);
    if (!display.screen) {
        const char *fromEnvironment = std::getenv("DISPLAY");
        const std::string name =
            !displayName.empty() ? displayName : (fromEnvironment ? fromEnvironment : "");
        if (name.empty())
            throw Error("Не задан дисплей X11 (переменная DISPLAY пуста)");
        throw Error("Не удается открыть дисплей X11 \"" + name + "\"");
    }
    return std::make_unique<X11ScreenSource>(std::move(display), allowSharedMemory, drawPointer);
}

}  // namespace zv
