#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zv {

// Chooses a palette for a screen and maps every pixel to it, for the GIF encoder. A screen with no
// more distinct colours than the palette holds is stored exactly (most operator screens at 256
// colours). Otherwise the palette is made on full 8-bit channels: the flat colours that cover
// much of the screen (backgrounds, bars, text), and pure black and white where present, are kept
// exactly; the rest of the colours are split into boxes by Wu's variance-minimising cuts, with
// each box's colour the mean of its pixels, refined by k-means passes. Pixels are mapped to their
// nearest palette colour (through a cache, without dithering, which would hurt text and LZW). The
// same screen always gives the same palette and indices.
//
// Buffers are kept between screens. Not thread-safe; one quantiser per thread.
class Quantizer {
public:
    Quantizer();
    ~Quantizer();
    Quantizer(const Quantizer &) = delete;
    Quantizer &operator=(const Quantizer &) = delete;

    // pixels: width * height, 0xXXRRGGBB (the top byte is ignored), rows stride pixels apart;
    // width at most 65535 (GIF's limit; std::invalid_argument otherwise).
    // Writes the palette (0x00RRGGBB, at most maxColours entries, 1..256) and width * height
    // indices into it, rows contiguous. Returns the number of palette entries used (at least 1).
    int quantise(const uint32_t *pixels, int width, int height, size_t stride, int maxColours,
                 uint32_t *palette, uint8_t *indices);

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace zv
