#include "container/GifImage.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>

#include "container/GifLzw.h"
#include "container/Quantizer.h"
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

// A palette as loaded: ColorCount is always a power of two (what the file's bit field allows).
static_assert(sizeof(GifColorType) == 3, "a GIF colour table is packed RGB");

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
};

// Separate arguments marked restrict: the stores into the bitmap cannot then alias the table or
// the image's fields, so the loop keeps everything in registers.
void mapRow(const uint32_t *__restrict lut, const uint8_t *__restrict src, uint32_t *__restrict dst,
            int count) {
    for (int x = 0; x < count; ++x)
        dst[x] = lut[src[x]];
}

uint32_t argbOf(const GifColorType &c) {
    return 0xFF000000u | (uint32_t{c.Red} << 16) | (uint32_t{c.Green} << 8) | c.Blue;
}

// How many bits index a colour table of count colours (a table holds a power of two, at least 2).
int tableBits(int count) {
    int bits = 1;
    while ((1 << bits) < count)
        ++bits;
    return bits;
}

void putWord(std::vector<uint8_t> &out, int value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

// Appends a table of 2^bits colours: the palette's, then black.
void putColourTable(std::vector<uint8_t> &out, const Palette &palette, int bits) {
    const size_t at = out.size();
    out.resize(at + 3 * (size_t{1} << bits), 0);
    std::memcpy(out.data() + at, palette.colors, 3 * static_cast<size_t>(palette.count));
}

// What a one-picture GIF file holds.
struct PictureToWrite {
    int screenWidth = 0, screenHeight = 0, background = 0;
    const Palette *global = nullptr;  // null or empty: none
    int left = 0, top = 0, width = 0, height = 0;
    const Palette *local = nullptr;
    int transparent = -1;
    const uint8_t *raster = nullptr;  // width * height indices, every one inside the palette's
                                      // table (the tables are padded up to a power of two)
};

// Writes a one-picture GIF into out (replacing its content, keeping its storage): screen,
// optional transparency block, picture, rows.
void writeGif(std::vector<uint8_t> &out, const PictureToWrite &p, GifLzwEncoder &lzw) {
    const bool hasGlobal = p.global && p.global->count > 0;
    const bool hasLocal = p.local && p.local->count > 0;
    const int globalBits = hasGlobal ? tableBits(p.global->count) : 0;
    const int localBits = hasLocal ? tableBits(p.local->count) : 0;
    const int bits = hasLocal ? localBits : globalBits;
    out.clear();
    const char *signature = p.transparent >= 0 ? "GIF89a" : "GIF87a";
    out.insert(out.end(), signature, signature + 6);
    putWord(out, p.screenWidth);
    putWord(out, p.screenHeight);
    const int resolution = std::max(bits, 1) - 1;
    out.push_back(
        static_cast<uint8_t>((hasGlobal ? 0x80 | (globalBits - 1) : 0) | (resolution << 4)));
    out.push_back(static_cast<uint8_t>(p.background));
    out.push_back(0);  // no aspect ratio
    if (hasGlobal)
        putColourTable(out, *p.global, globalBits);
    if (p.transparent >= 0) {
        // Graphic control: no disposal, no delay, the transparent index.
        const uint8_t block[] = {0x21, 0xF9, 4, 1, 0, 0, static_cast<uint8_t>(p.transparent), 0};
        out.insert(out.end(), block, block + sizeof block);
    }
    out.push_back(0x2C);
    putWord(out, p.left);
    putWord(out, p.top);
    putWord(out, p.width);
    putWord(out, p.height);
    out.push_back(static_cast<uint8_t>(hasLocal ? 0x80 | (localBits - 1) : 0));
    if (hasLocal)
        putColourTable(out, *p.local, localBits);
    lzw.encode(p.raster, static_cast<size_t>(p.width) * static_cast<size_t>(p.height),
               std::max(bits, 2), out);
    out.push_back(0x3B);
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
    // The picture's indices run through the local palette when it has one, else the global. An
    // index past that palette (a damaged picture, which the decoder shows black) is saved with
    // the palette padded in black up to it, so that it shows the same.
    Palette global = d_->global, local = d_->local;
    Palette &used = local.count ? local : global;
    for (int i = used.count; i <= highest; ++i)
        used.colors[i] = GifColorType{0, 0, 0};
    used.count = std::max(used.count, highest + 1);
    PictureToWrite picture;
    picture.screenWidth = d_->width;
    picture.screenHeight = d_->height;
    picture.background = d_->background;
    picture.global = &global;
    picture.left = d_->left;
    picture.top = d_->top;
    picture.width = d_->rasterWidth;
    picture.height = d_->rasterHeight;
    picture.local = &local;
    picture.transparent = d_->transparent;
    picture.raster = raster;
    // One encoder per thread, kept: saving is const and may run on several threads at once.
    thread_local GifLzwEncoder lzw;
    std::vector<uint8_t> out;
    writeGif(out, picture, lzw);
    return out;
}

void GifImage::saveToFile(const std::string &nativeFile) const {
    // Whole or not at all, and never through a link planted under the name (PartFile.h).
    const std::vector<uint8_t> bytes = saveToBytes();
    writeGifFile(nativeFile, bytes.data(), bytes.size());
}

void writeGifFile(const std::string &nativeFile, const uint8_t *data, size_t size) {
    writeWholeFile(nativeFile, data, size);
}

namespace {

// Reads a little-endian 16-bit field.
int wordAt(const uint8_t *p) {
    return p[0] | (p[1] << 8);
}

// Skips data sub-blocks from at up to and including their empty end block; false when the
// bytes end first.
bool skipSubBlocks(const uint8_t *data, size_t size, size_t &at) {
    while (at < size) {
        const size_t length = data[at++];
        if (length == 0)
            return true;
        at += length;
    }
    return false;
}

}  // namespace

bool isPlainGif(const uint8_t *data, size_t size) {
    if (!data || size < 13 ||
        (std::memcmp(data, "GIF87a", 6) != 0 && std::memcmp(data, "GIF89a", 6) != 0))
        return false;
    const int screenWidth = wordAt(data + 6), screenHeight = wordAt(data + 8);
    size_t at = 13;
    if (data[10] & 0x80)
        at += 3 * (size_t{2} << (data[10] & 7));
    // The image descriptor must follow at once: no extension of any kind.
    if (at + 10 > size || data[at] != 0x2C)
        return false;
    const uint8_t *desc = data + at;
    const int left = wordAt(desc + 1), top = wordAt(desc + 3);
    const int width = wordAt(desc + 5), height = wordAt(desc + 7);
    const uint8_t flags = desc[9];
    if (width == 0 || height == 0 || left + width > screenWidth || top + height > screenHeight ||
        (flags & 0x40) != 0)  // interlaced
        return false;
    if (!(flags & 0x80) && !(data[10] & 0x80))
        return false;  // no palette at all
    at += 10;
    if (flags & 0x80)
        at += 3 * (size_t{2} << (flags & 7));
    if (at >= size || data[at] < 2 || data[at] > 8)
        return false;
    ++at;
    if (!skipSubBlocks(data, size, at))
        return false;
    // The trailer, and nothing after it.
    return at + 1 == size && data[at] == 0x3B;
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
    Quantizer quantizer;
    GifLzwEncoder lzw;
    GrowBuffer<uint32_t> screen;  // an RGB bitmap as 0x00RRGGBB
    GrowBuffer<uint8_t> indexed;  // width * height palette indices
    std::vector<uint8_t> out;

    const std::vector<uint8_t> &quantiseAndWrite(const uint32_t *pixels, int width, int height,
                                                 size_t stride, int colours);
};

const std::vector<uint8_t> &GifEncoder::Buffers::quantiseAndWrite(const uint32_t *pixels, int width,
                                                                  int height, size_t stride,
                                                                  int colours) {
    indexed.ensure(static_cast<size_t>(width) * static_cast<size_t>(height));
    uint32_t colour[256];
    const int used =
        quantizer.quantise(pixels, width, height, stride, colours, colour, indexed.get());
    Palette palette;
    palette.count = used;
    for (int i = 0; i < used; ++i)
        palette.colors[i] = GifColorType{static_cast<GifByteType>(colour[i] >> 16),
                                         static_cast<GifByteType>(colour[i] >> 8),
                                         static_cast<GifByteType>(colour[i])};
    PictureToWrite picture;
    picture.screenWidth = picture.width = width;
    picture.screenHeight = picture.height = height;
    picture.global = &palette;
    picture.raster = indexed.get();
    writeGif(out, picture, lzw);
    return out;
}

GifEncoder::GifEncoder() : b_(std::make_unique<Buffers>()) {}
GifEncoder::~GifEncoder() = default;

const std::vector<uint8_t> &GifEncoder::encodeRgb(const uint8_t *rgb, int width, int height,
                                                  int colours) {
    checkEncoderInput(rgb, width, height, colours);
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    b_->screen.ensure(n);
    uint32_t *screen = b_->screen.get();
    for (size_t i = 0; i < n; ++i)
        screen[i] = (uint32_t{rgb[3 * i]} << 16) | (uint32_t{rgb[3 * i + 1]} << 8) | rgb[3 * i + 2];
    return b_->quantiseAndWrite(screen, width, height, static_cast<size_t>(width), colours);
}

const std::vector<uint8_t> &GifEncoder::encodeXrgb(const uint32_t *pixels, int width, int height,
                                                   size_t stride, int colours) {
    checkEncoderInput(pixels, width, height, colours);
    if (stride < static_cast<size_t>(width))
        throw Error("Недопустимый размер изображения");
    return b_->quantiseAndWrite(pixels, width, height, stride, colours);
}

}  // namespace zv
