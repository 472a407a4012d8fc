// GIF decoding from memory, and decode -> encode -> decode giving the same picture: what the
// viewer shows and what the picture export and `zvf frame … .gif` save must agree.
#include <cstring>

#include "FuzzSupport.h"
#include "container/GifImage.h"
#include "platform/Error.h"

namespace {
// Round trips are checked on pictures up to this size (a 2560x1600 screen is 4 M pixels). A damaged
// header may claim up to 32 M pixels; encoding and decoding that again takes a second, so checking
// it would spend the run on a few such inputs instead of on the decoder.
constexpr size_t kRoundTripPixels = size_t{1} << 22;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    zv::GifImage image;
    try {
        image.loadFromBytes(data, size);
    } catch (const zv::Error &e) {
        FUZZ_CHECK(image.empty());
        FUZZ_CHECK(std::strlen(e.what()) > 0);
        return 0;
    }
    FUZZ_CHECK(!image.empty() && image.width() > 0 && image.height() > 0);
    const size_t pixels = static_cast<size_t>(image.width()) * static_cast<size_t>(image.height());
    if (pixels > kRoundTripPixels)
        return 0;
    const std::vector<uint8_t> saved = image.saveToBytes();
    zv::GifImage again;
    again.loadFromBytes(saved.data(), saved.size());  // throws (and fails the run) if unreadable
    FUZZ_CHECK(again.width() == image.width() && again.height() == image.height());
    FUZZ_CHECK(std::memcmp(again.pixels(), image.pixels(), pixels * sizeof(uint32_t)) == 0);
    // Saving what was loaded from a save gives the same bytes.
    FUZZ_CHECK(again.saveToBytes() == saved);
    return 0;
}
