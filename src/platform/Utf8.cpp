#include "platform/Utf8.h"

namespace zv {

std::optional<char32_t> decodeUtf8(std::string_view text, size_t &pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    size_t length;
    char32_t u;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        u = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        u = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        u = lead & 0x07;
    } else {
        return std::nullopt;
    }
    if (pos + length > text.size())
        return std::nullopt;
    for (size_t i = 1; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[pos + i]);
        if ((c & 0xC0) != 0x80)
            return std::nullopt;
        u = (u << 6) | (c & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (u < kMinimum[length] || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF))
        return std::nullopt;
    pos += length;
    return u;
}

void appendUtf8(std::string &out, char32_t u) {
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (u >> 18));
        out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
}

}  // namespace zv
