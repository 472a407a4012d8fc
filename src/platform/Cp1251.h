#pragma once

#include <string>
#include <string_view>

namespace zv {

// Windows-1251 is the code page of cnf.INI (the recorder reads it); inside the module every
// string is UTF-8. The table is Windows' own, with its one hole (0x98) mapped to U+0098 so that
// any byte sequence survives a round trip.

// Never fails: every byte has a character.
std::string cp1251ToUtf8(std::string_view bytes);

// Converts UTF-8 text. Throws zv::Error when the text is not valid UTF-8 or holds a character
// that Windows-1251 lacks, because a silent '?' would store a different path than the one
// typed.
std::string utf8ToCp1251(std::string_view text);

// True when utf8ToCp1251 would succeed.
bool isCp1251Representable(std::string_view text);

// Upper case of one Windows-1251 byte: Latin and Cyrillic letters (Ё/ё included); other bytes
// pass unchanged. Used to match section and key names without regard to case.
unsigned char cp1251ToUpper(unsigned char c);

}  // namespace zv
