#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// UTF-8, one character at a time: the module's one decoder and encoder.
namespace zv {

// Decodes the character at text[pos] and advances pos past it; nullopt, with pos unchanged, for a
// malformed sequence (a stray or missing continuation byte, an overlong form, a surrogate, a
// value beyond U+10FFFF). pos must lie inside text.
std::optional<char32_t> decodeUtf8(std::string_view text, size_t &pos);

// Appends character u (at most U+10FFFF) as UTF-8.
void appendUtf8(std::string &out, char32_t u);

}  // namespace zv
