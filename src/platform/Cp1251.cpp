#include "platform/Cp1251.h"

#include <array>
#include <cstdint>
#include <optional>

#include "platform/Error.h"
#include "platform/Utf8.h"

namespace zv {

namespace {

// Characters of the bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
constexpr std::array<char16_t, 64> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

char32_t toUnicode(unsigned char c) {
    if (c < 0x80)
        return c;
    if (c >= 0xC0)
        return 0x0410 + (c - 0xC0);
    return kHigh[c - 0x80];
}

std::optional<unsigned char> fromUnicode(char32_t u) {
    if (u < 0x80)
        return static_cast<unsigned char>(u);
    if (u >= 0x0410 && u <= 0x044F)
        return static_cast<unsigned char>(0xC0 + (u - 0x0410));
    for (size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == u)
            return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

// The converted text, or an error text.
std::string convertToCp1251(std::string_view text, std::string *error) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        std::optional<char32_t> u = decodeUtf8(text, pos);
        if (!u) {
            *error = "Текст не в кодировке UTF-8";
            return {};
        }
        std::optional<unsigned char> c = fromUnicode(*u);
        if (!c) {
            *error = "Текст содержит символы, которых нет в кодировке Windows-1251";
            return {};
        }
        out += static_cast<char>(*c);
    }
    return out;
}

}  // namespace

std::string cp1251ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes)
        appendUtf8(out, toUnicode(static_cast<unsigned char>(c)));
    return out;
}

std::string utf8ToCp1251(std::string_view text) {
    std::string error;
    std::string out = convertToCp1251(text, &error);
    if (!error.empty())
        throw Error(error + ": \"" + std::string(text) + "\"");
    return out;
}

bool isCp1251Representable(std::string_view text) {
    std::string error;
    convertToCp1251(text, &error);
    return error.empty();
}

unsigned char cp1251ToUpper(unsigned char c) {
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 'a' + 'A');
    if (c >= 0xE0)
        return static_cast<unsigned char>(c - 0x20);  // а..я -> А..Я
    switch (c) {
        case 0xB8:
            return 0xA8;  // ё
        case 0x90:
            return 0x80;  // ђ
        case 0x83:
            return 0x81;  // ѓ
        case 0x9A:
            return 0x8A;  // љ
        case 0x9C:
            return 0x8C;  // њ
        case 0x9D:
            return 0x8D;  // ќ
        case 0x9E:
            return 0x8E;  // ћ
        case 0x9F:
            return 0x8F;  // џ
        case 0xA2:
            return 0xA1;  // ў
        case 0xBC:
            return 0xA3;  // ј
        case 0xB4:
            return 0xA5;  // ґ
        case 0xBA:
            return 0xAA;  // є
        case 0xBF:
            return 0xAF;  // ї
        case 0xB3:
            return 0xB2;  // і
        case 0xBE:
            return 0xBD;  // ѕ
        default:
            return c;
    }
}

}  // namespace zv
