// The desktop portal's ScreenCast over sd-bus, frames from PipeWire. The portal's requests answer
// through a Response signal on a request object whose path the caller knows in advance (its
// unique name and a token of its own), so the match is added before each call. After Start the
// portal hands out a PipeWire connection (OpenPipeWireRemote) on which one stream per monitor is
// read by PipeWire's thread; each holds back only its newest buffer, which grab() copies.
#include "platform/PortalScreenCapture.h"

#include <fcntl.h>
#include <pipewire/pipewire.h>
#include <pthread.h>
#include <signal.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/Error.h"
#include "platform/ScreenSourceChoice.h"

namespace zv {

std::optional<PixelLayout> pixelLayoutOfVideoFormat(uint32_t format) {
    // The names give the bytes' order in memory; the masks apply to the pixel read as a
    // little-endian number.
    auto layout = [](int bits, uint32_t r, uint32_t g, uint32_t b) {
        return PixelLayout{bits, false, r, g, b};
    };
    switch (format) {
        case SPA_VIDEO_FORMAT_BGRx:
        case SPA_VIDEO_FORMAT_BGRA:
            return layout(32, 0xFF0000, 0xFF00, 0xFF);
        case SPA_VIDEO_FORMAT_RGBx:
        case SPA_VIDEO_FORMAT_RGBA:
            return layout(32, 0xFF, 0xFF00, 0xFF0000);
        case SPA_VIDEO_FORMAT_xRGB:
        case SPA_VIDEO_FORMAT_ARGB:
            return layout(32, 0xFF00, 0xFF0000, 0xFF000000);
        case SPA_VIDEO_FORMAT_xBGR:
        case SPA_VIDEO_FORMAT_ABGR:
            return layout(32, 0xFF000000, 0xFF0000, 0xFF00);
        case SPA_VIDEO_FORMAT_RGB:
            return layout(24, 0xFF, 0xFF00, 0xFF0000);
        case SPA_VIDEO_FORMAT_BGR:
            return layout(24, 0xFF0000, 0xFF00, 0xFF);
        case SPA_VIDEO_FORMAT_RGB16:
            return layout(16, 0xF800, 0x7E0, 0x1F);
        case SPA_VIDEO_FORMAT_BGR16:
            return layout(16, 0x1F, 0x7E0, 0xF800);
        case SPA_VIDEO_FORMAT_xRGB_210LE:
            return layout(32, 0x3FF00000, 0xFFC00, 0x3FF);
        case SPA_VIDEO_FORMAT_xBGR_210LE:
            return layout(32, 0x3FF, 0xFFC00, 0x3FF00000);
        default:
            return std::nullopt;
    }
}

std::string portalTokenFile() {
    const char *state = std::getenv("XDG_STATE_HOME");
    const char *home = std::getenv("HOME");
    const std::string folder = state && *state ? state
                               : home          ? std::string(home) + "/.local/state"
                                               : "/tmp";
    return folder + "/zorvideo/screencast-token";
}

namespace {

constexpr const char *kPortal = "org.freedesktop.portal.Desktop";
constexpr const char *kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char *kScreenCast = "org.freedesktop.portal.ScreenCast";
// How long opening waits for the desktop before it lets the dialog run on behind grab().
constexpr uint64_t kOpenWaitUs = 3'000'000;

struct BusCloser {
    void operator()(sd_bus *b) const noexcept { sd_bus_flush_close_unref(b); }
};
struct SlotCloser {
    void operator()(sd_bus_slot *s) const noexcept { sd_bus_slot_unref(s); }
};
struct MessageCloser {
    void operator()(sd_bus_message *m) const noexcept { sd_bus_message_unref(m); }
};
using Bus = std::unique_ptr<sd_bus, BusCloser>;
using Slot = std::unique_ptr<sd_bus_slot, SlotCloser>;
using Message = std::unique_ptr<sd_bus_message, MessageCloser>;

// An sd_bus_error freed at the end of its scope.
struct BusError {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    ~BusError() { sd_bus_error_free(&e); }
    std::string text(int r) const { return e.message ? e.message : std::strerror(r < 0 ? -r : r); }
};

std::string readToken(const std::string &file) {
    std::ifstream in(file);
    std::string token;
    std::getline(in, token);
    return token;
}

// The token replaces the file's content whole (a new file renamed over it), readable by its
// owner alone.
void writeToken(const std::string &file, const std::string &token) {
    const std::filesystem::path folder = std::filesystem::path(file).parent_path();
    std::error_code ec;
    std::filesystem::create_directories(folder.parent_path(), ec);
    ::mkdir(folder.c_str(), 0700);
    const std::string part = file + ".part";
    const int fd =
        ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    ::fchmod(fd, 0600);
    const std::string line = token + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    if (!written || ::rename(part.c_str(), file.c_str()) != 0)
        ::unlink(part.c_str());
}

// One monitor's stream: its place, and its newest buffer, held back from the producer until a
// newer one comes, so that a picture is copied only when grab() takes it. PipeWire's thread
// swaps the held buffer; grab() copies from it; both under the lock.
struct Stream {
    uint32_t node = 0;
    int32_t x = 0, y = 0;
    bool placed = false;  // the portal gave the position; streams without one go side by side
    pw_stream *stream = nullptr;
    spa_hook listener{};
    std::mutex lock;
    uint32_t format = 0;
    int width = 0, height = 0;
    pw_buffer *held = nullptr;
    bool fresh = false;  // held is newer than taken
    std::string failure;
    // The picture grab() took last, kept while no newer one comes (a still screen sends none).
    std::vector<uint8_t> taken;
    uint32_t takenFormat = 0;
    int takenWidth = 0, takenHeight = 0;
    size_t takenStride = 0;

    // Copies the held picture into taken; false when it cannot be read. Under the lock.
    bool take();
};

bool Stream::take() {
    const spa_data &d = held->buffer->datas[0];
    const auto layout = pixelLayoutOfVideoFormat(format);
    const size_t rowBytes =
        layout ? static_cast<size_t>(width) * static_cast<size_t>(layout->bitsPerPixel / 8) : 0;
    const size_t stride = d.chunk->stride > 0 ? static_cast<size_t>(d.chunk->stride) : rowBytes;
    const size_t bytes = stride * static_cast<size_t>(height);
    if (!d.data || rowBytes == 0 || stride < rowBytes || d.chunk->offset > d.maxsize ||
        bytes > d.maxsize - d.chunk->offset || (d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED))
        return false;
    const auto *from = static_cast<const uint8_t *>(d.data) + d.chunk->offset;
    taken.assign(from, from + bytes);
    takenFormat = format;
    takenWidth = width;
    takenHeight = height;
    takenStride = stride;
    return true;
}

void onStreamState(void *data, pw_stream_state, pw_stream_state state, const char *error) {
    auto *s = static_cast<Stream *>(data);
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
        std::lock_guard guard(s->lock);
        s->failure =
            std::string("поток PipeWire прерван") + (error ? std::string(": ") + error : "");
    }
}

void onParamChanged(void *data, uint32_t id, const spa_pod *param) {
    auto *s = static_cast<Stream *>(data);
    uint32_t mediaType = 0, mediaSubtype = 0;
    if (!param || id != SPA_PARAM_Format ||
        spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
        mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw)
        return;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0)
        return;
    std::lock_guard guard(s->lock);
    s->format = info.format;
    s->width = static_cast<int>(info.size.width);
    s->height = static_cast<int>(info.size.height);
    s->fresh = false;
}

// Holds the newest buffer that waits and gives the others back at once.
void onProcess(void *data) {
    auto *s = static_cast<Stream *>(data);
    pw_buffer *newest = nullptr;
    while (pw_buffer *b = pw_stream_dequeue_buffer(s->stream)) {
        if (newest)
            pw_stream_queue_buffer(s->stream, newest);
        newest = b;
    }
    if (!newest)
        return;
    std::lock_guard guard(s->lock);
    if (s->held)
        pw_stream_queue_buffer(s->stream, s->held);
    s->held = newest;
    s->fresh = true;
}

// A buffer the stream takes away (new sizes, the end) is no longer held.
void onRemoveBuffer(void *data, pw_buffer *buffer) {
    auto *s = static_cast<Stream *>(data);
    std::lock_guard guard(s->lock);
    if (s->held == buffer) {
        s->held = nullptr;
        s->fresh = false;
    }
}

const pw_stream_events kStreamEvents = [] {
    pw_stream_events e{};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.state_changed = onStreamState;
    e.param_changed = onParamChanged;
    e.process = onProcess;
    e.remove_buffer = onRemoveBuffer;
    return e;
}();

// Blocks every signal in the calling thread while it lives; threads started meanwhile keep them
// blocked.
class SignalsBlocked {
public:
    SignalsBlocked() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous_);
    }
    ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsBlocked(const SignalsBlocked &) = delete;
    SignalsBlocked &operator=(const SignalsBlocked &) = delete;

private:
    sigset_t previous_;
};

enum class Phase { Asking, Streaming, Refused, Failed };
enum class Next { Nothing, SelectSources, Start, Stream };

// The a{sv} of a message, entry by entry: visit reads the variant of the keys it knows and
// answers true; the others are skipped.
void forEachEntry(sd_bus_message *m,
                  const std::function<bool(const std::string &, sd_bus_message *)> &visit) {
    if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0)
        return;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char *key = nullptr;
        if (sd_bus_message_read(m, "s", &key) < 0 || !visit(key, m))
            sd_bus_message_skip(m, "v");
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
}

std::string readString(sd_bus_message *m) {
    const char *value = nullptr;
    return sd_bus_message_read(m, "v", "s", &value) >= 0 && value ? value : "";
}

class PortalScreenSource final : public ScreenSource {
public:
    PortalScreenSource(std::string tokenFile, bool withPointer);
    ~PortalScreenSource() override;
    ScreenImage grab() override;
    const char *method() const override { return "org.freedesktop.portal.ScreenCast, PipeWire"; }

private:
    // Calls a method of the portal that answers through a request object: positional (the
    // session, the parent window) and then the options of options().
    void request(const char *method, const std::function<void(sd_bus_message *)> &positional,
                 const std::function<void(sd_bus_message *)> &options);
    static int onResponse(sd_bus_message *m, void *data, sd_bus_error *);
    // The desktop ended the session (the operator stopped the sharing, the desktop restarts).
    static int onClosed(sd_bus_message *m, void *data, sd_bus_error *);
    void readStreams(sd_bus_message *m);
    void fail(const std::string &why);
    // Streaming, with a picture from every stream (or past hope: refused, failed).
    bool hasPictures();
    void pump();
    void selectSources();
    void startStreams();
    // Connects one stream to its node, with the formats pixelLayoutOfVideoFormat reads.
    void connect(Stream &s);
    ScreenImage compose();

    Bus bus_;
    Slot response_;
    Slot closed_;
    std::string sender_;
    int requests_ = 0;
    std::string step_;  // the request whose answer is awaited
    Next next_ = Next::Nothing;
    Phase phase_ = Phase::Asking;
    std::string failure_;
    std::string session_;
    std::string tokenFile_;
    bool withPointer_;
    std::vector<std::unique_ptr<Stream>> streams_;
    pw_thread_loop *loop_ = nullptr;
    pw_context *context_ = nullptr;
    pw_core *core_ = nullptr;
    std::vector<uint32_t> canvas_;
};

PortalScreenSource::PortalScreenSource(std::string tokenFile, bool withPointer)
    : tokenFile_(std::move(tokenFile)), withPointer_(withPointer) {
    sd_bus *bus = nullptr;
    if (const int r = sd_bus_open_user(&bus); r < 0)
        throw Error(std::string("Нет сеансовой шины D-Bus: ") + std::strerror(-r));
    bus_.reset(bus);
    const char *unique = nullptr;
    if (sd_bus_get_unique_name(bus, &unique) < 0 || !unique)
        throw Error("Сеансовая шина D-Bus не дала имени");
    sender_ = unique + 1;  // ":1.42" -> "1_42"
    std::replace(sender_.begin(), sender_.end(), '.', '_');
    request(
        "CreateSession", [](sd_bus_message *) {},
        [](sd_bus_message *m) {
            sd_bus_message_append(m, "{sv}", "session_handle_token", "s", "zorvideo");
        });
    // A desktop that answers at once (a stored permission) is streaming, its first pictures at
    // hand, before the first grab.
    for (uint64_t waited = 0; waited < kOpenWaitUs && !hasPictures(); waited += 50'000) {
        if (phase_ == Phase::Asking)
            sd_bus_wait(bus_.get(), 50'000);
        else
            ::usleep(50'000);
        pump();
    }
    if (phase_ == Phase::Refused || phase_ == Phase::Failed)
        throw Error(failure_);
}

PortalScreenSource::~PortalScreenSource() {
    if (loop_)
        pw_thread_loop_stop(loop_);
    for (auto &s : streams_) {
        if (s->stream)
            pw_stream_destroy(s->stream);
    }
    if (core_)
        pw_core_disconnect(core_);
    if (context_)
        pw_context_destroy(context_);
    if (loop_)
        pw_thread_loop_destroy(loop_);
    if (!session_.empty())
        sd_bus_call_method_async(bus_.get(), nullptr, kPortal, session_.c_str(),
                                 "org.freedesktop.portal.Session", "Close", nullptr, nullptr, "");
}

bool PortalScreenSource::hasPictures() {
    if (phase_ != Phase::Streaming)
        return phase_ != Phase::Asking;
    return std::all_of(streams_.begin(), streams_.end(), [](const auto &s) {
        std::lock_guard guard(s->lock);
        return s->held || !s->failure.empty();
    });
}

void PortalScreenSource::fail(const std::string &why) {
    if (phase_ == Phase::Asking)
        phase_ = Phase::Failed;
    failure_ = why;
}

void PortalScreenSource::request(const char *method,
                                 const std::function<void(sd_bus_message *)> &positional,
                                 const std::function<void(sd_bus_message *)> &options) {
    const std::string token = "zorvideo" + std::to_string(++requests_);
    const std::string path = std::string(kPortalPath) + "/request/" + sender_ + "/" + token;
    sd_bus_slot *slot = nullptr;
    int r = sd_bus_match_signal(bus_.get(), &slot, nullptr, path.c_str(),
                                "org.freedesktop.portal.Request", "Response", &onResponse, this);
    response_.reset(slot);
    step_ = method;
    sd_bus_message *raw = nullptr;
    if (r >= 0)
        r = sd_bus_message_new_method_call(bus_.get(), &raw, kPortal, kPortalPath, kScreenCast,
                                           method);
    Message call(raw);
    if (r >= 0) {
        positional(raw);
        sd_bus_message_open_container(raw, 'a', "{sv}");
        sd_bus_message_append(raw, "{sv}", "handle_token", "s", token.c_str());
        options(raw);
        r = sd_bus_message_close_container(raw);
    }
    BusError error;
    sd_bus_message *reply = nullptr;
    if (r >= 0)
        r = sd_bus_call(bus_.get(), raw, 0, &error.e, &reply);
    Message answer(reply);
    if (r < 0)
        fail(std::string("портал ScreenCast, ") + method + ": " + error.text(r));
}

int PortalScreenSource::onResponse(sd_bus_message *m, void *data, sd_bus_error *) {
    auto *self = static_cast<PortalScreenSource *>(data);
    uint32_t response = 2;
    sd_bus_message_read(m, "u", &response);
    if (response == 1) {
        self->phase_ = Phase::Refused;
        self->failure_ = "Рабочий стол отказал в записи экрана (портал ScreenCast)";
        return 0;
    }
    if (response != 0) {
        self->fail("Портал ScreenCast прервал запрос");
        return 0;
    }
    std::string token;
    forEachEntry(m, [&](const std::string &key, sd_bus_message *v) {
        if (key == "session_handle")
            self->session_ = readString(v);
        else if (key == "restore_token")
            token = readString(v);
        else if (key == "streams")
            self->readStreams(v);
        else
            return false;
        return true;
    });
    if (!token.empty())
        writeToken(self->tokenFile_, token);
    self->next_ = self->step_ == "CreateSession"   ? Next::SelectSources
                  : self->step_ == "SelectSources" ? Next::Start
                                                   : Next::Stream;
    return 0;
}

void PortalScreenSource::readStreams(sd_bus_message *m) {
    if (sd_bus_message_enter_container(m, 'v', "a(ua{sv})") <= 0)
        return;
    if (sd_bus_message_enter_container(m, 'a', "(ua{sv})") > 0) {
        while (sd_bus_message_enter_container(m, 'r', "ua{sv}") > 0) {
            auto s = std::make_unique<Stream>();
            sd_bus_message_read(m, "u", &s->node);
            forEachEntry(m, [&](const std::string &key, sd_bus_message *v) {
                if (key != "position")
                    return false;
                s->placed = sd_bus_message_read(v, "v", "(ii)", &s->x, &s->y) >= 0;
                return true;
            });
            streams_.push_back(std::move(s));
            sd_bus_message_exit_container(m);
        }
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
}

void PortalScreenSource::pump() {
    while (sd_bus_process(bus_.get(), nullptr) > 0) {
    }
    const Next next = std::exchange(next_, Next::Nothing);
    if (next == Next::SelectSources) {
        selectSources();
    } else if (next == Next::Start) {
        request(
            "Start",
            [this](sd_bus_message *m) { sd_bus_message_append(m, "os", session_.c_str(), ""); },
            [](sd_bus_message *) {});
    } else if (next == Next::Stream) {
        startStreams();
    }
    if (next != Next::Nothing)
        pump();  // answers that came during the call
}

int PortalScreenSource::onClosed(sd_bus_message *, void *data, sd_bus_error *) {
    auto *self = static_cast<PortalScreenSource *>(data);
    self->session_.clear();
    if (self->phase_ == Phase::Refused || self->phase_ == Phase::Failed)
        return 0;  // the session ends after a refusal too; the refusal is what counts
    self->phase_ = Phase::Failed;
    self->failure_ = "Рабочий стол закрыл сеанс записи экрана (портал ScreenCast)";
    return 0;
}

void PortalScreenSource::selectSources() {
    sd_bus_slot *slot = nullptr;
    if (sd_bus_match_signal(bus_.get(), &slot, nullptr, session_.c_str(),
                            "org.freedesktop.portal.Session", "Closed", &onClosed, this) >= 0)
        closed_.reset(slot);
    const std::string token = readToken(tokenFile_);
    // The pointer drawn in (2) or left out (1), as far as the desktop offers either.
    uint32_t modes = 0;
    sd_bus_get_property_trivial(bus_.get(), kPortal, kPortalPath, kScreenCast,
                                "AvailableCursorModes", nullptr, 'u', &modes);
    const uint32_t cursor = withPointer_ ? 2u : 1u;
    request(
        "SelectSources",
        [this](sd_bus_message *m) { sd_bus_message_append(m, "o", session_.c_str()); },
        [this, token, cursor, modes](sd_bus_message *m) {
            sd_bus_message_append(m, "{sv}", "types", "u", 1u);  // monitors
            sd_bus_message_append(m, "{sv}", "multiple", "b", 1);
            if (modes & cursor)
                sd_bus_message_append(m, "{sv}", "cursor_mode", "u", cursor);
            sd_bus_message_append(m, "{sv}", "persist_mode", "u", 2u);  // until revoked
            if (!token.empty())
                sd_bus_message_append(m, "{sv}", "restore_token", "s", token.c_str());
        });
    // A token the portal refuses ("Restore token is not a valid ..."; one it does not know it
    // answers with its dialog) is dropped, so that the next try asks the operator again.
    if (phase_ == Phase::Failed && !token.empty() &&
        failure_.find("estore token") != std::string::npos)
        ::unlink(tokenFile_.c_str());
}

void PortalScreenSource::startStreams() {
    if (streams_.empty())
        return fail("Портал ScreenCast не дал ни одного монитора");
    sd_bus_message *reply = nullptr;
    BusError error;
    int r = sd_bus_call_method(bus_.get(), kPortal, kPortalPath, kScreenCast, "OpenPipeWireRemote",
                               &error.e, &reply, "oa{sv}", session_.c_str(), 0);
    Message answer(reply);
    int fd = -1;
    if (r >= 0)
        r = sd_bus_message_read(reply, "h", &fd);
    if (r < 0 || (fd = fcntl(fd, F_DUPFD_CLOEXEC, 3)) < 0)
        return fail("Портал ScreenCast не открыл PipeWire: " + error.text(r));
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
    // PipeWire's threads take none of the process's signals: the recorder reads SIGTERM and
    // the others from a descriptor, which a thread with them unblocked would bypass.
    const SignalsBlocked blocked;
    loop_ = pw_thread_loop_new("zorvideo-screen", nullptr);
    context_ = loop_ ? pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0) : nullptr;
    core_ = context_ ? pw_context_connect_fd(context_, fd, nullptr, 0) : nullptr;
    if (!core_) {
        if (!context_)
            ::close(fd);
        return fail("Не удается подключиться к PipeWire");
    }
    pw_thread_loop_lock(loop_);
    for (auto &stream : streams_)
        connect(*stream);
    pw_thread_loop_unlock(loop_);
    if (pw_thread_loop_start(loop_) < 0)
        return fail("Не удается запустить поток PipeWire");
    phase_ = Phase::Streaming;
}

void PortalScreenSource::connect(Stream &s) {
    spa_rectangle size{1920, 1080}, minSize{1, 1}, maxSize{16384, 16384};
    spa_fraction rate{30, 1}, minRate{0, 1}, maxRate{1000, 1};
    uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod *params[1] = {static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(13, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA,
                               SPA_VIDEO_FORMAT_xRGB, SPA_VIDEO_FORMAT_ARGB, SPA_VIDEO_FORMAT_xBGR,
                               SPA_VIDEO_FORMAT_ABGR, SPA_VIDEO_FORMAT_RGB, SPA_VIDEO_FORMAT_BGR,
                               SPA_VIDEO_FORMAT_xRGB_210LE, SPA_VIDEO_FORMAT_RGB16),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &minRate, &maxRate)))};
    s.stream = pw_stream_new(core_, "ZORVideo",
                             pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                               "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!s.stream) {
        std::lock_guard guard(s.lock);
        s.failure = "Не удается создать поток PipeWire";
        return;
    }
    pw_stream_add_listener(s.stream, &s.listener, &kStreamEvents, &s);
    pw_stream_connect(
        s.stream, PW_DIRECTION_INPUT, s.node,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
        params, 1);
}

ScreenImage PortalScreenSource::grab() {
    pump();
    if (phase_ == Phase::Asking)
        throw CaptureNotReady("ожидается разрешение рабочего стола на запись экрана");
    if (phase_ != Phase::Streaming)
        throw Error(failure_);
    for (auto &s : streams_) {
        std::lock_guard guard(s->lock);
        if (!s->failure.empty())
            throw Error(s->failure);
        if (s->fresh && s->held) {
            s->take();  // an unreadable picture leaves the one before
            s->fresh = false;
        }
        if (s->taken.empty())
            throw CaptureNotReady("ожидается первый кадр от PipeWire");
    }
    return compose();
}

ScreenImage PortalScreenSource::compose() {
    const Stream &first = *streams_.front();
    const PixelLayout firstLayout = *pixelLayoutOfVideoFormat(first.takenFormat);
    if (streams_.size() == 1 && firstLayout.isNativeXrgb() && first.takenStride % 4 == 0)
        return {reinterpret_cast<const uint32_t *>(first.taken.data()), first.takenWidth,
                first.takenHeight, first.takenStride / 4};
    int32_t left = INT32_MAX, top = INT32_MAX, right = 0;
    for (const auto &s : streams_) {
        if (s->placed) {
            left = std::min(left, s->x);
            top = std::min(top, s->y);
            right = std::max(right, s->x + s->takenWidth);
        }
    }
    left = left == INT32_MAX ? 0 : left;
    top = top == INT32_MAX ? 0 : top;
    std::vector<std::pair<int64_t, int64_t>> at;
    int64_t width = 0, height = 0, next = right - left;
    for (const auto &s : streams_) {
        const int64_t x = s->placed ? s->x - left : std::exchange(next, next + s->takenWidth);
        const int64_t y = s->placed ? s->y - top : 0;
        at.emplace_back(x, y);
        width = std::max(width, x + s->takenWidth);
        height = std::max(height, y + s->takenHeight);
    }
    if (width > 32767 || height > 32767)
        throw Error("Слишком большой снимок экрана");
    canvas_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    for (size_t i = 0; i < streams_.size(); ++i) {
        const Stream &s = *streams_[i];
        uint32_t *to = canvas_.data() + static_cast<size_t>(at[i].second * width + at[i].first);
        for (int row = 0; row < s.takenHeight; ++row)
            convertToXrgb(s.taken.data() + static_cast<size_t>(row) * s.takenStride,
                          *pixelLayoutOfVideoFormat(s.takenFormat), s.takenWidth, 1, s.takenStride,
                          to + static_cast<size_t>(row) * width);
    }
    return {canvas_.data(), static_cast<int>(width), static_cast<int>(height),
            static_cast<size_t>(width)};
}

}  // namespace

std::unique_ptr<ScreenSource> makePortalScreenSource(const std::string &tokenFile,
                                                     bool withPointer) {
    return std::make_unique<PortalScreenSource>(tokenFile, withPointer);
}

}  // namespace zv
