// The text conversions at the edges of the module: Windows-1251 <-> UTF-8 (cnf.INI), file names
// <-> UTF-16 (archives, command lines) and the date-time text <-> value of the command-line tool.
#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/Cp1251.h"
#include "platform/DateTime.h"
#include "platform/Error.h"
#include "platform/FileNameText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);

    // Any bytes are Windows-1251 text, and come back from UTF-8 unchanged.
    const std::string utf8 = zv::cp1251ToUtf8(bytes);
    FUZZ_CHECK(zv::isCp1251Representable(utf8));
    FUZZ_CHECK(zv::utf8ToCp1251(utf8) == bytes);

    // The same bytes as UTF-8: either they convert and come back, or they are refused.
    if (zv::isCp1251Representable(bytes)) {
        FUZZ_CHECK(zv::cp1251ToUtf8(zv::utf8ToCp1251(bytes)) == bytes);
    } else {
        bool refused = false;
        try {
            (void)zv::utf8ToCp1251(bytes);
        } catch (const zv::Error &) {
            refused = true;
        }
        FUZZ_CHECK(refused);
    }

    // Any bytes as a file name come back from UTF-16 unchanged.
    FUZZ_CHECK(zv::utf16ToFileName(zv::fileNameToUtf16(bytes)) == bytes);

    // The first 8 bytes as a date-time: its text parses back to a value of the same text.
    if (size >= 8) {
        uint64_t raw;
        std::memcpy(&raw, data, 8);
        const double value = std::bit_cast<double>(raw);
        const std::string text = zv::formatDateTimeIso(value);
        const std::optional<double> parsed = zv::parseDateTimeIso(text);
        FUZZ_CHECK(parsed.has_value());
        FUZZ_CHECK(zv::formatDateTimeIso(*parsed) == text);
        // Within the calendar the value itself survives to the millisecond.
        if (std::isfinite(value) && value >= 0 && value < 2'958'465.0)
            FUZZ_CHECK(std::fabs(*parsed - value) <= 0.5 / 86'400'000.0 * 1.001 + 1e-9);
    }

    // The bytes as a date-time text: what parses formats to a text that parses to the same value.
    if (const std::optional<double> parsed = zv::parseDateTimeIso(bytes)) {
        const std::optional<double> again = zv::parseDateTimeIso(zv::formatDateTimeIso(*parsed));
        FUZZ_CHECK(again.has_value() && *again == *parsed);
    }
    return 0;
}
