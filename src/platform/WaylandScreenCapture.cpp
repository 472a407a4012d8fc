// The screen of a Wayland compositor through zwlr_screencopy_manager_v1 over libwayland-client:
// each grab asks for one frame of every output, gives the compositor a shared memory buffer
// (memfd) per output to copy into, waits until all are copied and lays them out in one picture.
#include "platform/WaylandScreenCapture.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/Error.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace zv {

std::optional<PixelLayout> pixelLayoutOfShmFormat(uint32_t format) {
    // Formats in the DRM sense: the masks apply to the pixel read as a little-endian number.
    auto layout = [](int bits, uint32_t r, uint32_t g, uint32_t b) {
        return PixelLayout{bits, false, r, g, b};
    };
    switch (format) {
        case WL_SHM_FORMAT_ARGB8888:
        case WL_SHM_FORMAT_XRGB8888:
            return layout(32, 0xFF0000, 0xFF00, 0xFF);
        case WL_SHM_FORMAT_ABGR8888:
        case WL_SHM_FORMAT_XBGR8888:
            return layout(32, 0xFF, 0xFF00, 0xFF0000);
        case WL_SHM_FORMAT_RGBA8888:
        case WL_SHM_FORMAT_RGBX8888:
            return layout(32, 0xFF000000, 0xFF0000, 0xFF00);
        case WL_SHM_FORMAT_BGRA8888:
        case WL_SHM_FORMAT_BGRX8888:
            return layout(32, 0xFF00, 0xFF0000, 0xFF000000);
        case WL_SHM_FORMAT_ARGB2101010:
        case WL_SHM_FORMAT_XRGB2101010:
            return layout(32, 0x3FF00000, 0xFFC00, 0x3FF);
        case WL_SHM_FORMAT_ABGR2101010:
        case WL_SHM_FORMAT_XBGR2101010:
            return layout(32, 0x3FF, 0xFFC00, 0x3FF00000);
        case WL_SHM_FORMAT_RGB888:
            return layout(24, 0xFF0000, 0xFF00, 0xFF);
        case WL_SHM_FORMAT_BGR888:
            return layout(24, 0xFF, 0xFF00, 0xFF0000);
        case WL_SHM_FORMAT_RGB565:
            return layout(16, 0xF800, 0x7E0, 0x1F);
        case WL_SHM_FORMAT_BGR565:
            return layout(16, 0x1F, 0x7E0, 0xF800);
        default:
            return std::nullopt;
    }
}

namespace {

// How long one grab may wait for the compositor before it counts as failed.
constexpr int kGrabTimeoutMs = 5000;
// The protocol version this client speaks (buffer_done arrived with 3).
constexpr uint32_t kScreenCopyVersion = 3;

template <class T, void (*Destroy)(T *)>
struct ProxyDestroyer {
    void operator()(T *p) const noexcept { Destroy(p); }
};
template <class T, void (*Destroy)(T *)>
using Proxy = std::unique_ptr<T, ProxyDestroyer<T, Destroy>>;

struct DisplayCloser {
    void operator()(wl_display *d) const noexcept { wl_display_disconnect(d); }
};

using Registry = Proxy<wl_registry, wl_registry_destroy>;
using Shm = Proxy<wl_shm, wl_shm_destroy>;
using Manager = Proxy<zwlr_screencopy_manager_v1, zwlr_screencopy_manager_v1_destroy>;
using XdgOutputManager = Proxy<zxdg_output_manager_v1, zxdg_output_manager_v1_destroy>;
using XdgOutput = Proxy<zxdg_output_v1, zxdg_output_v1_destroy>;
using Frame = Proxy<zwlr_screencopy_frame_v1, zwlr_screencopy_frame_v1_destroy>;
using Buffer = Proxy<wl_buffer, wl_buffer_destroy>;

// A wl_shm format for the errors: its four characters, or its number.
std::string formatName(uint32_t format) {
    std::string name;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((format >> (8 * i)) & 0xFF);
        if (c < ' ' || c > '~')
            return std::to_string(format);
        name += c;
    }
    return name;
}

uint64_t monotonicMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint64_t>(t.tv_sec) * 1000 + static_cast<uint64_t>(t.tv_nsec) / 1'000'000;
}

// What the compositor offers for one frame, and how the copy went.
struct FrameInfo {
    uint32_t format = 0, width = 0, height = 0, stride = 0;
    bool shmOffered = false;
    bool buffersListed = false;  // buffer_done, or the buffer event before version 3
    bool yInverted = false;
    bool ready = false;
    bool failed = false;
};

// A wl_shm buffer in a memfd, mapped here.
class ShmBuffer {
public:
    ShmBuffer() = default;
    ShmBuffer(const ShmBuffer &) = delete;
    ShmBuffer &operator=(const ShmBuffer &) = delete;
    ~ShmBuffer() { release(); }

    // A buffer for the frame: the one held when it fits, a new one otherwise.
    void fit(wl_shm *shm, const FrameInfo &info);
    wl_buffer *buffer() const { return buffer_.get(); }
    const uint8_t *data() const { return static_cast<const uint8_t *>(data_); }

private:
    void release();

    Buffer buffer_;
    void *data_ = nullptr;
    size_t size_ = 0;
    uint32_t format_ = 0, width_ = 0, height_ = 0, stride_ = 0;
};

void ShmBuffer::fit(wl_shm *shm, const FrameInfo &info) {
    if (buffer_ && format_ == info.format && width_ == info.width && height_ == info.height &&
        stride_ == info.stride)
        return;
    release();
    const size_t size = static_cast<size_t>(info.stride) * info.height;
    if (size == 0 || size > size_t{1} << 31)
        throw Error("Композитор предложил недопустимый буфер: " + std::to_string(info.width) + "×" +
                    std::to_string(info.height) + ", строка " + std::to_string(info.stride) +
                    " байт");
    const int fd = memfd_create("zorvideo-screen", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        throw Error(std::string("Не удается создать буфер изображения экрана: ") +
                    std::strerror(error));
    }
    void *data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        const int error = errno;
        ::close(fd);
        throw Error(std::string("Не удается отобразить буфер изображения экрана: ") +
                    std::strerror(error));
    }
    wl_shm_pool *pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(size));
    buffer_.reset(wl_shm_pool_create_buffer(pool, 0, static_cast<int32_t>(info.width),
                                            static_cast<int32_t>(info.height),
                                            static_cast<int32_t>(info.stride), info.format));
    wl_shm_pool_destroy(pool);  // the buffer keeps the memory
    ::close(fd);
    data_ = data;
    size_ = size;
    format_ = info.format;
    width_ = info.width;
    height_ = info.height;
    stride_ = info.stride;
}

void ShmBuffer::release() {
    buffer_.reset();
    if (data_)
        munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
}

// One output of the compositor: where it stands, and its frame of the grab under way.
struct Output {
    uint32_t name = 0;  // the registry's name of the global
    wl_output *proxy = nullptr;
    XdgOutput xdg;
    // Position in the compositor's logical space: xdg-output's where offered (wlroots gives 0, 0
    // in wl_output's geometry), wl_output's otherwise.
    int32_t x = 0, y = 0;
    bool logicalPosition = false;
    int32_t scale = 1;
    Frame frame;
    FrameInfo info;
    ShmBuffer shm;

    ~Output() {
        frame.reset();
        xdg.reset();
        if (proxy)
            wl_output_destroy(proxy);
    }
};

void outputGeometry(void *data, wl_output *, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                    const char *, const char *, int32_t) {
    auto *o = static_cast<Output *>(data);
    if (!o->logicalPosition) {
        o->x = x;
        o->y = y;
    }
}
void outputMode(void *, wl_output *, uint32_t, int32_t, int32_t, int32_t) {}
void outputDone(void *, wl_output *) {}
void outputScale(void *data, wl_output *, int32_t factor) {
    static_cast<Output *>(data)->scale = std::max(1, factor);
}
void outputText(void *, wl_output *, const char *) {}
const wl_output_listener kOutputListener = {outputGeometry, outputMode, outputDone,
                                            outputScale,    outputText, outputText};

void xdgPosition(void *data, zxdg_output_v1 *, int32_t x, int32_t y) {
    auto *o = static_cast<Output *>(data);
    o->x = x;
    o->y = y;
    o->logicalPosition = true;
}
void xdgSize(void *, zxdg_output_v1 *, int32_t, int32_t) {}
void xdgDone(void *, zxdg_output_v1 *) {}
void xdgText(void *, zxdg_output_v1 *, const char *) {}
const zxdg_output_v1_listener kXdgOutputListener = {xdgPosition, xdgSize, xdgDone, xdgText,
                                                    xdgText};

void frameBuffer(void *data, zwlr_screencopy_frame_v1 *frame, uint32_t format, uint32_t width,
                 uint32_t height, uint32_t stride) {
    auto *info = static_cast<FrameInfo *>(data);
    info->format = format;
    info->width = width;
    info->height = height;
    info->stride = stride;
    info->shmOffered = true;
    if (zwlr_screencopy_frame_v1_get_version(frame) < 3)
        info->buffersListed = true;
}
void frameFlags(void *data, zwlr_screencopy_frame_v1 *, uint32_t flags) {
    static_cast<FrameInfo *>(data)->yInverted = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
}
void frameReady(void *data, zwlr_screencopy_frame_v1 *, uint32_t, uint32_t, uint32_t) {
    static_cast<FrameInfo *>(data)->ready = true;
}
void frameFailed(void *data, zwlr_screencopy_frame_v1 *) {
    static_cast<FrameInfo *>(data)->failed = true;
}
void frameDamage(void *, zwlr_screencopy_frame_v1 *, uint32_t, uint32_t, uint32_t, uint32_t) {}
void frameDmabuf(void *, zwlr_screencopy_frame_v1 *, uint32_t, uint32_t, uint32_t) {}
void frameBufferDone(void *data, zwlr_screencopy_frame_v1 *) {
    static_cast<FrameInfo *>(data)->buffersListed = true;
}
const zwlr_screencopy_frame_v1_listener kFrameListener = {
    frameBuffer, frameFlags, frameReady, frameFailed, frameDamage, frameDmabuf, frameBufferDone};

class ScreenCopySource final : public ScreenSource {
public:
    ScreenCopySource(const std::string &displayName, bool withPointer);
    ScreenImage grab() override;
    const char *method() const override { return kScreenCopyProtocol; }

    // The registry's events: outputs come and go, the globals this source needs.
    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface,
                       uint32_t version);
    static void globalRemove(void *data, wl_registry *registry, uint32_t name);

private:
    // Dispatches events until done() holds; false when the time ran out.
    bool dispatchUntil(const std::function<bool()> &done, uint64_t deadline);
    void throwIfBroken();
    // Waits until the compositor has handled every request so far, dispatching what comes
    // meanwhile; false when the time ran out.
    bool roundtrip(uint64_t deadline);
    // Asks xdg-output where the output stands, once both are there.
    void watchPosition(Output &o);
    void requestFrames();
    void copyFrames(uint64_t deadline);
    ScreenImage compose();

    std::unique_ptr<wl_display, DisplayCloser> display_;
    Registry registry_;
    Shm shm_;
    Manager manager_;
    XdgOutputManager xdgOutputs_;
    std::vector<std::unique_ptr<Output>> outputs_;
    bool withPointer_;
    std::vector<uint32_t> canvas_;
};

const wl_registry_listener kRegistryListener = {&ScreenCopySource::global,
                                                &ScreenCopySource::globalRemove};

void ScreenCopySource::global(void *data, wl_registry *registry, uint32_t name,
                              const char *interface, uint32_t version) {
    auto *self = static_cast<ScreenCopySource *>(data);
    const std::string what = interface;
    if (what == wl_output_interface.name) {
        auto o = std::make_unique<Output>();
        o->name = name;
        o->proxy = static_cast<wl_output *>(
            wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 2u)));
        wl_output_add_listener(o->proxy, &kOutputListener, o.get());
        self->watchPosition(*o);
        self->outputs_.push_back(std::move(o));
    } else if (what == wl_shm_interface.name && !self->shm_) {
        self->shm_.reset(
            static_cast<wl_shm *>(wl_registry_bind(registry, name, &wl_shm_interface, 1)));
    } else if (what == zxdg_output_manager_v1_interface.name && !self->xdgOutputs_) {
        self->xdgOutputs_.reset(static_cast<zxdg_output_manager_v1 *>(wl_registry_bind(
            registry, name, &zxdg_output_manager_v1_interface, std::min(version, 2u))));
        for (auto &o : self->outputs_)
            self->watchPosition(*o);
    } else if (what == zwlr_screencopy_manager_v1_interface.name && !self->manager_) {
        self->manager_.reset(static_cast<zwlr_screencopy_manager_v1 *>(
            wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface,
                             std::min(version, kScreenCopyVersion))));
    }
}

void ScreenCopySource::watchPosition(Output &o) {
    if (!xdgOutputs_ || o.xdg)
        return;
    o.xdg.reset(zxdg_output_manager_v1_get_xdg_output(xdgOutputs_.get(), o.proxy));
    zxdg_output_v1_add_listener(o.xdg.get(), &kXdgOutputListener, &o);
}

void ScreenCopySource::globalRemove(void *data, wl_registry *, uint32_t name) {
    auto &outputs = static_cast<ScreenCopySource *>(data)->outputs_;
    std::erase_if(outputs, [name](const std::unique_ptr<Output> &o) { return o->name == name; });
}

ScreenCopySource::ScreenCopySource(const std::string &displayName, bool withPointer)
    : withPointer_(withPointer) {
    display_.reset(wl_display_connect(displayName.empty() ? nullptr : displayName.c_str()));
    if (!display_) {
        const char *fromEnvironment = std::getenv("WAYLAND_DISPLAY");
        const std::string name = !displayName.empty() ? displayName
                                 : fromEnvironment    ? fromEnvironment
                                                      : "wayland-0";
        throw Error("Не удается подключиться к композитору Wayland \"" + name + "\"");
    }
    registry_.reset(wl_display_get_registry(display_.get()));
    wl_registry_add_listener(registry_.get(), &kRegistryListener, this);
    // The globals, then the outputs' first description.
    const uint64_t deadline = monotonicMs() + kGrabTimeoutMs;
    if (!roundtrip(deadline) || !roundtrip(deadline))
        throw Error("Композитор Wayland не отвечает");
    if (!manager_)
        throw Error(std::string("Композитор не предлагает протокол снимков экрана ") +
                    kScreenCopyProtocol);
    if (!shm_)
        throw Error("Композитор не предлагает общую память (wl_shm)");
}

void ScreenCopySource::throwIfBroken() {
    if (wl_display_get_error(display_.get()) != 0)
        throw Error("Потеряна связь с композитором Wayland");
}

bool ScreenCopySource::dispatchUntil(const std::function<bool()> &done, uint64_t deadline) {
    wl_display *d = display_.get();
    while (!done()) {
        while (wl_display_prepare_read(d) != 0) {
            if (wl_display_dispatch_pending(d) < 0)
                throwIfBroken();
        }
        if (done()) {
            wl_display_cancel_read(d);
            break;
        }
        wl_display_flush(d);
        const uint64_t now = monotonicMs();
        pollfd fd{wl_display_get_fd(d), POLLIN, 0};
        const int ready = now < deadline ? ::poll(&fd, 1, static_cast<int>(deadline - now)) : 0;
        if (ready > 0) {
            wl_display_read_events(d);
        } else {
            wl_display_cancel_read(d);
            if (ready == 0)
                return false;
        }
        if (wl_display_dispatch_pending(d) < 0 || (fd.revents & (POLLERR | POLLHUP)))
            throwIfBroken();
    }
    return true;
}

bool ScreenCopySource::roundtrip(uint64_t deadline) {
    bool done = false;
    static const wl_callback_listener listener = {
        [](void *data, wl_callback *, uint32_t) { *static_cast<bool *>(data) = true; }};
    Proxy<wl_callback, wl_callback_destroy> callback(wl_display_sync(display_.get()));
    wl_callback_add_listener(callback.get(), &listener, &done);
    return dispatchUntil([&done] { return done; }, deadline);
}

void ScreenCopySource::requestFrames() {
    for (auto &o : outputs_) {
        o->info = FrameInfo{};
        o->frame.reset(zwlr_screencopy_manager_v1_capture_output(manager_.get(),
                                                                 withPointer_ ? 1 : 0, o->proxy));
        zwlr_screencopy_frame_v1_add_listener(o->frame.get(), &kFrameListener, &o->info);
    }
}

void ScreenCopySource::copyFrames(uint64_t deadline) {
    const auto listed = [this] {
        return std::all_of(outputs_.begin(), outputs_.end(), [](const auto &o) {
            return !o->frame || o->info.buffersListed || o->info.failed;
        });
    };
    if (!dispatchUntil(listed, deadline))
        throw Error("Композитор не ответил на запрос снимка экрана");
    for (auto &o : outputs_) {
        if (!o->frame || o->info.failed)
            continue;
        if (!o->info.shmOffered)
            throw Error("Композитор не предлагает снимок экрана в общей памяти");
        const std::optional<PixelLayout> layout = pixelLayoutOfShmFormat(o->info.format);
        if (!layout)
            throw Error("Неподдерживаемый формат изображения композитора: " +
                        formatName(o->info.format));
        if (o->info.stride <
            uint64_t{o->info.width} * static_cast<uint32_t>(layout->bitsPerPixel / 8))
            throw Error("Композитор предложил недопустимый буфер: строка " +
                        std::to_string(o->info.stride) + " байт при ширине " +
                        std::to_string(o->info.width));
        o->shm.fit(shm_.get(), o->info);
        zwlr_screencopy_frame_v1_copy(o->frame.get(), o->shm.buffer());
    }
    const auto copied = [this] {
        return std::all_of(outputs_.begin(), outputs_.end(), [](const auto &o) {
            return !o->frame || o->info.ready || o->info.failed;
        });
    };
    if (!dispatchUntil(copied, deadline))
        throw Error("Композитор не выполнил снимок экрана за отведенное время");
}

ScreenImage ScreenCopySource::grab() {
    throwIfBroken();
    const uint64_t deadline = monotonicMs() + kGrabTimeoutMs;
    // Outputs announced since the last grab; a second round trip for the position of new ones.
    if (!roundtrip(deadline))
        throw Error("Композитор Wayland не отвечает");
    const bool unplaced = std::any_of(outputs_.begin(), outputs_.end(),
                                      [](const auto &o) { return o->xdg && !o->logicalPosition; });
    if (unplaced && !roundtrip(deadline))
        throw Error("Композитор Wayland не отвечает");
    if (outputs_.empty())
        throw Error("Композитор не сообщает ни одного вывода изображения");
    requestFrames();
    copyFrames(deadline);
    for (const auto &o : outputs_) {
        if (o->frame && o->info.failed)
            throw Error("Композитор отказал в снимке экрана");
    }
    ScreenImage image = compose();
    for (auto &o : outputs_)
        o->frame.reset();
    return image;
}

// The pictures of the outputs at their place: positions in the compositor's space are logical,
// so they are scaled by the largest output scale to meet the pictures' own pixels.
ScreenImage ScreenCopySource::compose() {
    std::vector<Output *> shown;
    for (const auto &o : outputs_) {
        if (o->frame && o->info.ready)
            shown.push_back(o.get());
    }
    if (shown.empty())
        throw Error("Композитор не выдал ни одного снимка вывода");
    const Output &first = *shown.front();
    const PixelLayout firstLayout = *pixelLayoutOfShmFormat(first.info.format);
    if (shown.size() == 1 && !first.info.yInverted && firstLayout.isNativeXrgb() &&
        first.info.stride % 4 == 0)
        return {reinterpret_cast<const uint32_t *>(first.shm.data()),
                static_cast<int>(first.info.width), static_cast<int>(first.info.height),
                first.info.stride / 4};
    int32_t scale = 1, left = INT32_MAX, top = INT32_MAX;
    for (const Output *o : shown) {
        scale = std::max(scale, o->scale);
        left = std::min(left, o->x);
        top = std::min(top, o->y);
    }
    int64_t width = 0, height = 0;
    for (const Output *o : shown) {
        width = std::max<int64_t>(width, int64_t{o->x - left} * scale + o->info.width);
        height = std::max<int64_t>(height, int64_t{o->y - top} * scale + o->info.height);
    }
    if (width > 32767 || height > 32767)
        throw Error("Слишком большой снимок экрана: " + std::to_string(width) + "×" +
                    std::to_string(height));
    canvas_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    for (const Output *o : shown) {
        const PixelLayout layout = *pixelLayoutOfShmFormat(o->info.format);
        const size_t px = static_cast<size_t>(o->x - left) * static_cast<size_t>(scale);
        const size_t py = static_cast<size_t>(o->y - top) * static_cast<size_t>(scale);
        for (uint32_t row = 0; row < o->info.height; ++row) {
            const uint32_t from = o->info.yInverted ? o->info.height - 1 - row : row;
            const uint8_t *source = o->shm.data() + static_cast<size_t>(from) * o->info.stride;
            uint32_t *to = canvas_.data() + (py + row) * static_cast<size_t>(width) + px;
            if (layout.isNativeXrgb())
                std::memcpy(to, source, size_t{o->info.width} * 4);
            else
                convertToXrgb(source, layout, static_cast<int>(o->info.width), 1, o->info.stride,
                              to);
        }
    }
    return {canvas_.data(), static_cast<int>(width), static_cast<int>(height),
            static_cast<size_t>(width)};
}

}  // namespace

std::unique_ptr<ScreenSource> makeWaylandScreenCopySource(const std::string &displayName,
                                                          bool withPointer) {
    return std::make_unique<ScreenCopySource>(displayName, withPointer);
}

}  // namespace zv
