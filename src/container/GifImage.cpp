#include "container/GifImage.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/Error.h"
#include "platform/File.h"
#include "platform/PartFile.h"

namespace zv {

namespace {

// Largest bitmap or raster we agree to hold: 32M pixels (128 MB as ARGB), far above any screen a
// recorder grabs; a damaged header must not make us allocate gigabytes.
constexpr int64_t kMaxPixels = int64_t{1} << 25;
// An LZW code of at most 12 bits never expands to more than 4096 pixels, so a raster larger than
// this many pixels per input byte cannot be encoded in the bytes we have.
constexpr int64_t kMaxPixelsPerByte = 4096;

// A buffer that only grows and is never zero-filled: refilling a multi-megabyte picture for every
// frame must not pay for page faults or memset.
template <typename T>
class GrowBuffer {
public:
    T *get() const { return data_.get(); }
    void ensure(size_t n) {
        if (n > capacity_) {
            data_.reset();
            capacity_ = 0;
            data_ = std::make_unique_for_overwrite<T[]>(n);
            capacity_ = n;
        }
    }

private:
    std::unique_ptr<T[]> data_;
    size_t capacity_ = 0;
};

struct DecoderCloser {
    void operator()(GifFileType *gif) const noexcept {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using DecoderPtr = std::unique_ptr<GifFileType, DecoderCloser>;

struct EncoderCloser {
    void operator()(GifFileType *gif) const noexcept {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};
using EncoderPtr = std::unique_ptr<GifFileType, EncoderCloser>;

struct MapCloser {
    void operator()(ColorMapObject *map) const noexcept { GifFreeMapObject(map); }
};
using MapPtr = std::unique_ptr<ColorMapObject, MapCloser>;

// giflib's error codes in the module's words (its own texts are English).
const char *gifErrorText(int code) {
    switch (code) {
        case D_GIF_ERR_NOT_GIF_FILE:
            return "Данные не являются изображением GIF";
        case D_GIF_ERR_NO_SCRN_DSCR:
            return "В изображении GIF нет описания экрана";
        case D_GIF_ERR_NO_IMAG_DSCR:
            return "В изображении GIF нет описания картинки";
        case D_GIF_ERR_NO_COLOR_MAP:
        case E_GIF_ERR_NO_COLOR_MAP:
            return "В изображении GIF нет палитры";
        case D_GIF_ERR_WRONG_RECORD:
            return "Неверный тип записи в изображении GIF";
        case D_GIF_ERR_DATA_TOO_BIG:
        case E_GIF_ERR_DATA_TOO_BIG:
            return "Картинка GIF больше своего экрана";
        case D_GIF_ERR_NOT_ENOUGH_MEM:
        case E_GIF_ERR_NOT_ENOUGH_MEM:
            return "Недостаточно памяти";
        case D_GIF_ERR_IMAGE_DEFECT:
            return "Изображение GIF повреждено";
        case D_GIF_ERR_EOF_TOO_SOON:
        case D_GIF_ERR_READ_FAILED:
            return "Изображение GIF обрывается";
        case E_GIF_ERR_WRITE_FAILED:
        case E_GIF_ERR_DISK_IS_FULL:
            return "Ошибка записи изображения GIF";
        default:
            return nullptr;
    }
}

[[noreturn]] void throwGif(int code) {
    const char *text = gifErrorText(code);
    throw Error(text ? text : "Ошибка GIF " + std::to_string(code));
}

struct MemoryReader {
    const uint8_t *data;
    size_t size;
    size_t pos;
};

int readFromMemory(GifFileType *gif, GifByteType *out, int length) noexcept {
    auto *reader = static_cast<MemoryReader *>(gif->UserData);
    size_t n = std::min(static_cast<size_t>(std::max(length, 0)), reader->size - reader->pos);
    if (n == 0)
        return 0;
    std::memcpy(out, reader->data + reader->pos, n);
    reader->pos += n;
    return static_cast<int>(n);
}

// Called from giflib's C code, which an exception must not cross: a failed append is reported as
// a short write, which giflib turns into its write error.
int writeToVector(GifFileType *gif, const GifByteType *data, int length) noexcept {
    auto *out = static_cast<std::vector<uint8_t> *>(gif->UserData);
    try {
        out->insert(out->end(), data, data + length);
    } catch (...) {
        return 0;
    }
    return length;
}

// A palette as loaded: ColorCount is always a power of two (what the file's bit field allows).
struct Palette {
    int count = 0;  // 0: none
    GifColorType colors[256]{};

    void assign(const ColorMapObject *map) {
        count = 0;
        if (!map || !map->Colors || map->ColorCount <= 0)
            return;
        count = std::min(map->ColorCount, 256);
        std::memcpy(colors, map->Colors, sizeof(GifColorType) * static_cast<size_t>(count));
    }
    // The map to save, padded with black up to a power of two above highest: giflib's encoder
    // masks every index to the palette's width, so an index past the palette (a damaged picture,
    // which the decoder shows black) would come back as some palette colour.
    MapPtr makeMap(int highest = 0) const {
        if (count == 0)
            return nullptr;
        if (highest >= count) {
            Palette padded;
            std::memcpy(padded.colors, colors, sizeof(GifColorType) * static_cast<size_t>(count));
            padded.count = static_cast<int>(std::bit_ceil(static_cast<unsigned>(highest) + 1));
            return padded.makeMap();
        }
        MapPtr map(GifMakeMapObject(count, colors));
        if (!map)
            throwGif(E_GIF_ERR_NOT_ENOUGH_MEM);
        return map;
    }
};

// Separate arguments marked restrict: the stores into the bitmap cannot then alias the table or
// the image's fields, so the loop keeps everything in registers.
void mapRow(const uint32_t *__restrict lut, const uint8_t *__restrict src, uint32_t *__restrict dst,
            int count) {
    for (int x = 0; x < count; ++x)
        dst[x] = lut[src[x]];
}

void splitRow(const uint32_t *__restrict src, uint8_t *__restrict red, uint8_t *__restrict green,
              uint8_t *__restrict blue, int count) {
    for (int x = 0; x < count; ++x) {
        const uint32_t v = src[x];
        red[x] = static_cast<uint8_t>(v >> 16);
        green[x] = static_cast<uint8_t>(v >> 8);
        blue[x] = static_cast<uint8_t>(v);
    }
}

uint32_t argbOf(const GifColorType &c) {
    return 0xFF000000u | (uint32_t{c.Red} << 16) | (uint32_t{c.Green} << 8) | c.Blue;
}

// Writes a one-picture GIF into out (replacing its content, keeping its storage): screen,
// optional transparency block, picture, rows.
void writeGif(std::vector<uint8_t> &out, int screenWidth, int screenHeight, int background,
              const ColorMapObject *globalMap, int left, int top, int width, int height,
              const ColorMapObject *localMap, int transparent, const uint8_t *raster) {
    out.clear();
    out.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) / 2 + 1024);
    int error = 0;
    EncoderPtr gif(EGifOpen(&out, writeToVector, &error));
    if (!gif)
        throwGif(error);
    EGifSetGifVersion(gif.get(), transparent >= 0);
    const ColorMapObject *anyMap = globalMap ? globalMap : localMap;
    int resolution = anyMap ? anyMap->BitsPerPixel : 8;
    if (EGifPutScreenDesc(gif.get(), screenWidth, screenHeight, resolution, background,
                          globalMap) == GIF_ERROR)
        throwGif(gif->Error);
    if (transparent >= 0) {
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, transparent};
        GifByteType block[4];
        size_t length = EGifGCBToExtension(&gcb, block);
        if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), block) ==
            GIF_ERROR)
            throwGif(gif->Error);
    }
    if (EGifPutImageDesc(gif.get(), left, top, width, height, false, localMap) == GIF_ERROR)
        throwGif(gif->Error);
    // EGifPutLine masks the pixels of the row it is given in place, so hand it a copy.
    std::vector<GifPixelType> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        std::memcpy(row.data(), raster + static_cast<size_t>(y) * static_cast<size_t>(width),
                    row.size());
        if (EGifPutLine(gif.get(), row.data(), width) == GIF_ERROR)
            throwGif(gif->Error);
    }
    if (EGifCloseFile(gif.release(), &error) == GIF_ERROR)
        throwGif(error);
}

}  // namespace

struct GifImage::Data {
    // The bitmap: the logical screen with the first picture on it.
    int width = 0;
    int height = 0;
    GrowBuffer<uint32_t> pixels;

    // The first picture as stored, for saving without quantising.
    int background = 0;
    Palette global;
    Palette local;
    int left = 0;
    int top = 0;
    int rasterWidth = 0;
    int rasterHeight = 0;
    int transparent = -1;
    GrowBuffer<uint8_t> raster;  // rasterWidth * rasterHeight indices, rows in display order

    uint32_t lut[256];  // palette index -> ARGB for the picture being decoded

    void decode(const uint8_t *data, size_t size);
    void preparePaint();
    void paintRow(int y);
};

void GifImage::Data::decode(const uint8_t *data, size_t size) {
    MemoryReader reader{data, size, 0};
    int error = 0;
    DecoderPtr gif(DGifOpen(&reader, readFromMemory, &error));
    if (!gif)
        throwGif(error);

    transparent = -1;
    bool haveImage = false;
    while (!haveImage) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            throwGif(gif->Error);
        switch (type) {
            case EXTENSION_RECORD_TYPE: {
                int code = 0;
                GifByteType *block = nullptr;
                if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR)
                    throwGif(gif->Error);
                if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
                    GraphicsControlBlock gcb{};
                    if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
                        transparent = gcb.TransparentColor;
                }
                while (block) {
                    if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
                        throwGif(gif->Error);
                }
                break;
            }
            case IMAGE_DESC_RECORD_TYPE:
                if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
                    throwGif(gif->Error);
                haveImage = true;
                break;
            case TERMINATE_RECORD_TYPE:
                throwGif(D_GIF_ERR_NO_IMAG_DSCR);
            default:
                break;
        }
    }

    const GifImageDesc &desc = gif->Image;
    if (desc.Width <= 0 || desc.Height <= 0 || desc.Left < 0 || desc.Top < 0)
        throwGif(D_GIF_ERR_IMAGE_DEFECT);
    int64_t rasterPixels = int64_t{desc.Width} * desc.Height;
    // The picture may stick out of the logical screen (or the screen may be given as 0): the
    // bitmap grows to hold it rather than cutting it off.
    int64_t screenW = std::max<int64_t>(gif->SWidth, int64_t{desc.Left} + desc.Width);
    int64_t screenH = std::max<int64_t>(gif->SHeight, int64_t{desc.Top} + desc.Height);
    if (rasterPixels > kMaxPixels || rasterPixels > kMaxPixelsPerByte * int64_t(size) ||
        screenW * screenH > kMaxPixels)
        throwGif(D_GIF_ERR_DATA_TOO_BIG);

    global.assign(gif->SColorMap);
    local.assign(desc.ColorMap);
    if (global.count == 0 && local.count == 0)
        throwGif(D_GIF_ERR_NO_COLOR_MAP);
    background = gif->SBackGroundColor;
    left = desc.Left;
    top = desc.Top;
    rasterWidth = desc.Width;
    rasterHeight = desc.Height;

    width = static_cast<int>(screenW);
    height = static_cast<int>(screenH);
    raster.ensure(static_cast<size_t>(rasterPixels));
    preparePaint();
    // Each row is painted as soon as it is decoded, while its indices are still in the cache.
    auto readRow = [&](int y) {
        if (DGifGetLine(gif.get(), raster.get() + static_cast<size_t>(y) * desc.Width,
                        desc.Width) == GIF_ERROR)
            throwGif(gif->Error);
        paintRow(y);
    };
    if (desc.Interlace) {
        static constexpr int kStart[4] = {0, 4, 2, 1};
        static constexpr int kStep[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass) {
            for (int y = kStart[pass]; y < desc.Height; y += kStep[pass])
                readRow(y);
        }
    } else {
        for (int y = 0; y < desc.Height; ++y)
            readRow(y);
    }
}

void GifImage::Data::preparePaint() {
    const Palette &palette = local.count ? local : global;
    // Indices past the palette are not defined by the format; show them black.
    for (int i = 0; i < 256; ++i)
        lut[i] = i < palette.count ? argbOf(palette.colors[i]) : 0xFF000000u;
    if (transparent >= 0 && transparent < 256)
        lut[transparent] = 0;

    pixels.ensure(static_cast<size_t>(width) * static_cast<size_t>(height));
    uint32_t *out = pixels.get();
    bool covers = left == 0 && top == 0 && rasterWidth == width && rasterHeight == height;
    if (!covers) {
        uint32_t fill = 0xFF000000u;
        if (transparent >= 0)
            fill = 0;
        else if (global.count && background >= 0 && background < global.count)
            fill = argbOf(global.colors[background]);
        // One row filled, then copied: a large screen around a small picture (a damaged header
        // can claim 32M pixels) costs block copies, not a store per pixel.
        const size_t row = static_cast<size_t>(width);
        std::fill(out, out + row, fill);
        for (int y = 1; y < height; ++y)
            std::memcpy(out + row * static_cast<size_t>(y), out, row * sizeof(uint32_t));
    }
}

void GifImage::Data::paintRow(int y) {
    mapRow(lut, raster.get() + static_cast<size_t>(y) * rasterWidth,
           pixels.get() + static_cast<size_t>(top + y) * width + left, rasterWidth);
}
GifImage::GifImage() : d_(new Data) {}

GifImage::~GifImage() {
    delete d_;
}

GifImage::GifImage(GifImage &&other) noexcept : d_(other.d_) {
    other.d_ = nullptr;
}

GifImage &GifImage::operator=(GifImage &&other) noexcept {
    if (this != &other) {
        delete d_;
        d_ = other.d_;
        other.d_ = nullptr;
    }
    return *this;
}

bool GifImage::empty() const {
    return !d_ || d_->width == 0;
}

int GifImage::width() const {
    return empty() ? 0 : d_->width;
}

int GifImage::height() const {
    return empty() ? 0 : d_->height;
}

const uint32_t *GifImage::pixels() const {
    return empty() ? nullptr : d_->pixels.get();
}

void GifImage::loadFromBytes(const void *data, size_t size) {
    if (!d_)
        d_ = new Data;
    d_->width = d_->height = 0;
    try {
        d_->decode(static_cast<const uint8_t *>(data), data ? size : 0);
    } catch (...) {
        clear();
        throw;
    }
}

void GifImage::clear() {
    if (!d_)
        return;
    d_->width = d_->height = 0;
    d_->rasterWidth = d_->rasterHeight = 0;
    d_->transparent = -1;
}

std::vector<uint8_t> GifImage::saveToBytes() const {
    if (empty())
        throw Error("Изображение пусто");
    const uint8_t *raster = d_->raster.get();
    const size_t n = static_cast<size_t>(d_->rasterWidth) * static_cast<size_t>(d_->rasterHeight);
    const int highest = n ? *std::max_element(raster, raster + n) : 0;
    // The picture's indices run through the local palette when it has one, else the global.
    MapPtr global = d_->global.makeMap(d_->local.count ? 0 : highest);
    MapPtr local = d_->local.makeMap(highest);
    std::vector<uint8_t> out;
    writeGif(out, d_->width, d_->height, d_->background, global.get(), d_->left, d_->top,
             d_->rasterWidth, d_->rasterHeight, local.get(), d_->transparent, d_->raster.get());
    return out;
}

void GifImage::saveToFile(const std::string &nativeFile) const {
    // Whole or not at all, and never through a link planted under the name (PartFile.h).
    const std::vector<uint8_t> bytes = saveToBytes();
    writeWholeFile(nativeFile, bytes.data(), bytes.size());
}

std::vector<uint8_t> GifImage::encodeRgb(const uint8_t *rgb, int width, int height, int colours) {
    GifEncoder encoder;
    return encoder.encodeRgb(rgb, width, height, colours);
}

namespace {

void checkEncoderInput(const void *pixels, int width, int height, int colours) {
    if (!pixels || width <= 0 || height <= 0 || width > 65535 || height > 65535 ||
        int64_t{width} * height > kMaxPixels)
        throw Error("Недопустимый размер изображения");
    if (colours < 2 || colours > 256 || (colours & (colours - 1)) != 0)
        throw Error("Недопустимое число цветов: " + std::to_string(colours));
}

}  // namespace

struct GifEncoder::Buffers {
    GrowBuffer<GifByteType> planes;   // red, green, blue, each width * height
    GrowBuffer<GifByteType> indexed;  // width * height palette indices
    std::vector<uint8_t> out;

    GifByteType *preparePlanes(size_t n) {
        planes.ensure(3 * n);
        indexed.ensure(n);
        return planes.get();
    }
    const std::vector<uint8_t> &quantiseAndWrite(int width, int height, int colours);
};

const std::vector<uint8_t> &GifEncoder::Buffers::quantiseAndWrite(int width, int height,
                                                                  int colours) {
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    GifByteType *red = planes.get();
    GifColorType palette[256]{};
    int mapSize = colours;
    if (GifQuantizeBuffer(static_cast<unsigned>(width), static_cast<unsigned>(height), &mapSize,
                          red, red + n, red + 2 * n, indexed.get(), palette) == GIF_ERROR)
        throwGif(E_GIF_ERR_NOT_ENOUGH_MEM);
    MapPtr map(GifMakeMapObject(colours, palette));
    if (!map)
        throwGif(E_GIF_ERR_NOT_ENOUGH_MEM);
    writeGif(out, width, height, 0, map.get(), 0, 0, width, height, nullptr, -1, indexed.get());
    return out;
}

GifEncoder::GifEncoder() : b_(std::make_unique<Buffers>()) {}
GifEncoder::~GifEncoder() = default;

const std::vector<uint8_t> &GifEncoder::encodeRgb(const uint8_t *rgb, int width, int height,
                                                  int colours) {
    checkEncoderInput(rgb, width, height, colours);
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    GifByteType *red = b_->preparePlanes(n);
    GifByteType *green = red + n;
    GifByteType *blue = green + n;
    for (size_t i = 0; i < n; ++i) {
        red[i] = rgb[3 * i];
        green[i] = rgb[3 * i + 1];
        blue[i] = rgb[3 * i + 2];
    }
    return b_->quantiseAndWrite(width, height, colours);
}

const std::vector<uint8_t> &GifEncoder::encodeXrgb(const uint32_t *pixels, int width, int height,
                                                   size_t stride, int colours) {
    checkEncoderInput(pixels, width, height, colours);
    if (stride < static_cast<size_t>(width))
        throw Error("Недопустимый размер изображения");
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    GifByteType *red = b_->preparePlanes(n);
    for (int y = 0; y < height; ++y) {
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(width);
        splitRow(pixels + static_cast<size_t>(y) * stride, red + row, red + n + row,
                 red + 2 * n + row, width);
    }
    return b_->quantiseAndWrite(width, height, colours);
}

}  // namespace zv
