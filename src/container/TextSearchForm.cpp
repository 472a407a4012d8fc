// The search form of texts and queries of the text index (TextIndex.h).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "container/TextIndex.h"
#include "platform/Utf8.h"

namespace zv {

namespace {

bool isBlank(char32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0xA0 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Lower case for the scripts the screens hold (Latin, Latin-1, Cyrillic), "ё" as "е".
char32_t fold(char32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20;
    if (c >= 0x410 && c <= 0x42F)
        c += 0x20;
    else if (c >= 0x400 && c <= 0x40F)
        c += 0x50;
    return c == 0x451 ? 0x435 : c;
}

bool isDigit(char32_t c) {
    return c >= '0' && c <= '9';
}

// A byte that is no UTF-8 is kept as itself, above the last code point.
constexpr char32_t kRawByte = 0x110000;

// Folded code points, every run of blanks as one blank, none at either end.
std::u32string foldedPoints(std::string_view text) {
    std::u32string points;
    for (size_t at = 0; at < text.size();) {
        const std::optional<char32_t> decoded = decodeUtf8(text, at);
        if (!decoded) {
            points += kRawByte + static_cast<unsigned char>(text[at++]);
            continue;
        }
        const char32_t c = *decoded;
        if (isBlank(c)) {
            if (!points.empty() && points.back() != ' ')
                points += ' ';
        } else {
            points += fold(c);
        }
    }
    if (!points.empty() && points.back() == ' ')
        points.pop_back();
    return points;
}

// Whether the blank at points[i] groups digits: a digit before it, exactly three after it.
bool groupsDigits(const std::u32string &points, size_t i) {
    if (i == 0 || !isDigit(points[i - 1]) || i + 3 >= points.size())
        return false;
    for (size_t k = i + 1; k <= i + 3; ++k)
        if (!isDigit(points[k]))
            return false;
    return i + 4 >= points.size() || !isDigit(points[i + 4]);
}

// Whether points[i] stands between two digits (the decimal comma of "2 486,00").
bool betweenDigits(const std::u32string &points, size_t i) {
    return i > 0 && i + 1 < points.size() && isDigit(points[i - 1]) && isDigit(points[i + 1]);
}

}  // namespace

std::string searchForm(std::string_view text) {
    const std::u32string points = foldedPoints(text);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < points.size(); ++i) {
        const char32_t c = points[i];
        if (c == ' ' && groupsDigits(points, i))
            continue;
        if (c == ',' && betweenDigits(points, i)) {
            out += '.';
            continue;
        }
        if (c >= kRawByte)
            out += static_cast<char>(c - kRawByte);
        else
            appendUtf8(out, c);
    }
    return out;
}

std::vector<std::string> searchWords(std::string_view query) {
    std::vector<std::string> words;
    const std::string form = searchForm(query);
    size_t start = 0;
    while (start < form.size()) {
        size_t end = form.find(' ', start);
        if (end == std::string::npos)
            end = form.size();
        if (end > start)
            words.push_back(form.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

}  // namespace zv
