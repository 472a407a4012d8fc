#include "platform/FileNameText.h"

#include <utility>

namespace zv {

namespace {

constexpr char32_t kEscapeBase = 0xEF00;  // + a byte of 0x80 .. 0xFF
constexpr char32_t kReplacement = 0xFFFD;

bool isEscape(char32_t c) {
    return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF;
}

// The character of the valid UTF-8 sequence at text[at] and its length in bytes; length 0 when
// the bytes there are no valid sequence (a stray or missing continuation byte, an overlong form,
// a surrogate, a value past U+10FFFF).
std::pair<char32_t, size_t> decodeOne(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80)
        return {lead, 1};
    size_t length;
    char32_t value, minimum;
    if ((lead & 0xE0) == 0xC0)
        length = 2, value = lead & 0x1F, minimum = 0x80;
    else if ((lead & 0xF0) == 0xE0)
        length = 3, value = lead & 0x0F, minimum = 0x800;
    else if ((lead & 0xF8) == 0xF0)
        length = 4, value = lead & 0x07, minimum = 0x10000;
    else
        return {0, 0};
    if (text.size() - at < length)
        return {0, 0};
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80)
            return {0, 0};
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return {0, 0};
    return {value, length};
}

void appendUtf16(std::u16string &out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
        return;
    }
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
}

void appendUtf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    int continuations = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(kLead[continuations] | (c >> (6 * continuations)));
    while (continuations-- > 0)
        out += static_cast<char>(0x80 | ((c >> (6 * continuations)) & 0x3F));
}

}  // namespace

std::u16string fileNameToUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        const auto [c, length] = decodeOne(bytes, at);
        if (length > 0 && !isEscape(c)) {
            appendUtf16(out, c);
            at += length;
            continue;
        }
        // Not UTF-8, or a character that would read back as kept bytes: each byte is kept.
        const size_t kept = length > 0 ? length : 1;
        for (size_t k = 0; k < kept; ++k)
            out += static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[at + k]));
        at += kept;
    }
    return out;
}

std::string utf16ToFileName(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char32_t u = text[i];
        if (isEscape(u)) {
            out += static_cast<char>(u - kEscapeBase);
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            appendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
        }
    }
    return out;
}

QString fileNameToQString(std::string_view bytes) {
    // Units as they are: fromUtf16 would take a leading U+FEFF or U+FFFE for a byte order mark.
    const std::u16string units = fileNameToUtf16(bytes);
    return QString(reinterpret_cast<const QChar *>(units.data()),
                   static_cast<qsizetype>(units.size()));
}

std::string qStringToFileName(const QString &text) {
    return utf16ToFileName(std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()),
                                               static_cast<size_t>(text.size())));
}

}  // namespace zv
