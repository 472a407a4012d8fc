#include "container/Mp4Writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <atomic>
#include <map>
#include <string>

#include "platform/Error.h"
#include "platform/File.h"

namespace zv {

namespace {

const char kWriteFailed[] = "Ошибка записи видеофайла MP4";
constexpr AVRational kMilliseconds{1, 1000};

struct CodecCloser {
    void operator()(AVCodecContext *c) const noexcept { avcodec_free_context(&c); }
};
struct FormatCloser {
    void operator()(AVFormatContext *f) const noexcept {
        if (f->pb)
            avio_closep(&f->pb);
        avformat_free_context(f);
    }
};
struct FrameCloser {
    void operator()(AVFrame *f) const noexcept { av_frame_free(&f); }
};
struct PacketCloser {
    void operator()(AVPacket *p) const noexcept { av_packet_free(&p); }
};
struct ScalerCloser {
    void operator()(SwsContext *s) const noexcept { sws_freeContext(s); }
};

// An option list for the library; it frees what the library did not take.
class Options {
public:
    Options() = default;
    ~Options() { av_dict_free(&dict_); }
    Options(const Options &) = delete;
    Options &operator=(const Options &) = delete;
    void set(const char *key, const std::string &value) {
        if (!value.empty())
            av_dict_set(&dict_, key, value.c_str(), 0);
    }
    AVDictionary **get() { return &dict_; }

private:
    AVDictionary *dict_ = nullptr;
};

std::string avErrorText(int code) {
    // The system's errors (a full disk, a folder gone) in the words of the module's other file
    // errors; FFmpeg's own codes in the module's words too (its texts are English).
    if (code < 0 && -code < 4'096)
        return systemErrorReason(-code);
    switch (code) {
        case AVERROR_ENCODER_NOT_FOUND:
            return "кодировщик не найден";
        case AVERROR_MUXER_NOT_FOUND:
            return "формат файла не найден";
        case AVERROR_PROTOCOL_NOT_FOUND:
            return "протокол не найден";
        case AVERROR_OPTION_NOT_FOUND:
            return "параметр не найден";
        case AVERROR_INVALIDDATA:
            return "недопустимые данные";
        case AVERROR_EOF:
            return "конец файла";
        case AVERROR_BUG:
        case AVERROR_BUG2:
            return "внутренняя ошибка FFmpeg";
        case AVERROR_EXTERNAL:
            return "ошибка внешней библиотеки";
        case AVERROR_PATCHWELCOME:
        case AVERROR_EXPERIMENTAL:
            return "возможность не поддерживается";
        default:
            return "ошибка FFmpeg " + std::to_string(code);
    }
}

void check(int code, const char *what) {
    if (code < 0)
        throw Error(std::string(kWriteFailed) + " (" + what + "): " + avErrorText(code));
}

std::atomic<bool> libraryLog{false};

// FFmpeg's own log (English, and x264's statistics at every close) only when asked for; the
// module's messages say what failed.
void quietLibraryLog() {
    av_log_set_level(libraryLog.load() ? AV_LOG_INFO : AV_LOG_QUIET);
}

}  // namespace

void showEncoderLog(bool show) {
    libraryLog = show;
}

struct Mp4Writer::State {
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecCloser> codec;
    std::unique_ptr<AVFrame, FrameCloser> frame;
    std::unique_ptr<AVPacket, PacketCloser> received;
    // The packet last received, written when the next one arrives or at the end: only then is
    // its duration known for certain (the muxer keeps the duration of the last one).
    std::unique_ptr<AVPacket, PacketCloser> pending;
    bool hasPending = false;
    std::unique_ptr<SwsContext, ScalerCloser> scaler;
    AVStream *stream = nullptr;            // owned by format
    std::map<int64_t, int64_t> durations;  // pts -> duration, of frames not yet written out
    int64_t lastPts = -1;
    bool finished = false;

    void writePending(int64_t duration) {
        AVPacket *p = pending.get();
        p->duration = duration;
        av_packet_rescale_ts(p, kMilliseconds, stream->time_base);
        p->stream_index = stream->index;
        check(av_interleaved_write_frame(format.get(), p), "write");
        hasPending = false;
    }

    int64_t durationOf(int64_t pts) {
        const auto it = durations.find(pts);
        if (it == durations.end())
            return 0;
        const int64_t d = it->second;
        durations.erase(it);
        return d;
    }

    // Takes every packet the encoder has ready.
    void drain() {
        for (;;) {
            const int code = avcodec_receive_packet(codec.get(), received.get());
            if (code == AVERROR(EAGAIN) || code == AVERROR_EOF)
                return;
            check(code, "encode");
            if (hasPending)
                writePending(durationOf(pending->pts));
            av_packet_unref(pending.get());
            av_packet_move_ref(pending.get(), received.get());
            hasPending = true;
        }
    }
};

Mp4Writer::Mp4Writer(const std::string &nativeFile, int width, int height,
                     const Mp4Encoding &encoding)
    : s_(std::make_unique<State>()) {
    quietLibraryLog();
    if (width <= 0 || height <= 0 || width % 2 != 0 || height % 2 != 0)
        throw Error(std::string(kWriteFailed) + ": недопустимый размер кадра " +
                    std::to_string(width) + "x" + std::to_string(height));
    const AVCodec *h264 = avcodec_find_encoder_by_name("libx264");
    if (!h264)
        throw Error(std::string(kWriteFailed) + ": в FFmpeg нет кодировщика H.264 (libx264)");

    // "file:" keeps a name with a colon from being taken for another protocol.
    const std::string url = "file:" + nativeFile;
    AVFormatContext *format = nullptr;
    check(avformat_alloc_output_context2(&format, nullptr, "mp4", url.c_str()), "mp4");
    s_->format.reset(format);

    s_->codec.reset(avcodec_alloc_context3(h264));
    if (!s_->codec)
        check(AVERROR(ENOMEM), "H.264");
    AVCodecContext *c = s_->codec.get();
    c->width = width;
    c->height = height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = kMilliseconds;
    c->color_range = AVCOL_RANGE_MPEG;
    c->colorspace = AVCOL_SPC_BT709;
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_BT709;
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Options codecOptions;
    codecOptions.set("preset", encoding.preset);
    codecOptions.set("tune", encoding.tune);
    codecOptions.set("crf", std::to_string(encoding.crf));
    codecOptions.set("x264-params", encoding.params);
    check(avcodec_open2(c, h264, codecOptions.get()), "H.264");

    s_->stream = avformat_new_stream(format, nullptr);
    if (!s_->stream)
        check(AVERROR(ENOMEM), "mp4");
    s_->stream->time_base = kMilliseconds;
    check(avcodec_parameters_from_context(s_->stream->codecpar, c), "mp4");

    const int opened = avio_open(&format->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0)
        throw Error("Не удается открыть файл \"" + nativeFile + "\": " + avErrorText(opened));
    Options muxOptions;
    muxOptions.set("movflags", "+faststart");
    muxOptions.set("video_track_timescale", "1000");
    check(avformat_write_header(format, muxOptions.get()), "mp4");

    s_->frame.reset(av_frame_alloc());
    s_->received.reset(av_packet_alloc());
    s_->pending.reset(av_packet_alloc());
    if (!s_->frame || !s_->received || !s_->pending)
        check(AVERROR(ENOMEM), "memory");
    s_->frame->format = AV_PIX_FMT_YUV420P;
    s_->frame->width = width;
    s_->frame->height = height;
    check(av_frame_get_buffer(s_->frame.get(), 0), "memory");

    // Area averaging of the chroma keeps coloured text closest to the original (about 0.1 dB
    // over bicubic on operator screens).
    s_->scaler.reset(sws_getContext(width, height, AV_PIX_FMT_RGB32, width, height,
                                    AV_PIX_FMT_YUV420P, SWS_AREA, nullptr, nullptr, nullptr));
    if (!s_->scaler)
        check(AVERROR(ENOMEM), "swscale");
    const int *bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(s_->scaler.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
}

Mp4Writer::~Mp4Writer() = default;

int Mp4Writer::width() const {
    return s_->codec->width;
}

int Mp4Writer::height() const {
    return s_->codec->height;
}

void Mp4Writer::write(const uint8_t *pixels, ptrdiff_t stride, int64_t ptsMs) {
    if (s_->finished)
        throw Error(std::string(kWriteFailed) + ": файл уже закрыт");
    if (ptsMs <= s_->lastPts)
        throw Error(std::string(kWriteFailed) + ": время кадра не возрастает");
    AVFrame *f = s_->frame.get();
    check(av_frame_make_writable(f), "memory");
    const uint8_t *const planes[1] = {pixels};
    const int strides[1] = {static_cast<int>(stride)};
    sws_scale(s_->scaler.get(), planes, strides, 0, f->height, f->data, f->linesize);
    f->pts = ptsMs;
    if (s_->lastPts >= 0)
        s_->durations[s_->lastPts] = ptsMs - s_->lastPts;
    s_->lastPts = ptsMs;
    check(avcodec_send_frame(s_->codec.get(), f), "encode");
    s_->drain();
}

void Mp4Writer::finish(int64_t lastDurationMs) {
    if (s_->finished)
        return;
    if (s_->lastPts >= 0)
        s_->durations[s_->lastPts] = lastDurationMs;
    check(avcodec_send_frame(s_->codec.get(), nullptr), "encode");
    s_->drain();
    if (s_->hasPending)
        s_->writePending(s_->durationOf(s_->pending->pts));
    check(av_write_trailer(s_->format.get()), "mp4");
    check(avio_closep(&s_->format->pb), "close");
    s_->finished = true;
}

}  // namespace zv
