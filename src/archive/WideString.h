#pragma once

#include <string>
#include <string_view>

namespace zv {

// The archive writer keeps every file name as 7-Zip's library wants it on Linux: UTF-16 code
// units, one per wchar_t (a character beyond the BMP is a surrogate pair), never UTF-32. Bytes
// of a name that are not UTF-8 are kept as 7-Zip keeps them (platform/FileNameText.h), so that
// an archive lists and extracts every name with its own bytes.

// File name bytes -> UTF-16 units in a wstring.
std::wstring utf8ToWide(std::string_view utf8);

// UTF-16 units in a wstring -> file name bytes. Units above 0xFFFF are cut to 16 bits; unpaired
// surrogates become U+FFFD.
std::string wideToUtf8(const std::wstring &wide);

// Unicode upper case of UTF-16 units (locale-independent); kept bytes stay as they are.
std::wstring wideUpper(const std::wstring &wide);

}  // namespace zv
