#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace zv {

// Linux file names are bytes, and not all of them are UTF-8 (a Windows-1251 name copied from
// Windows). Where a name has to be UTF-16 text (7-Zip's item names, Qt's command-line parser),
// each byte that is not part of valid UTF-8 becomes the code unit U+EF00 + byte (U+EF80 ..
// U+EFFF), as 7-Zip itself keeps such bytes; a valid sequence of a character in that range is
// kept byte by byte too. The way back turns those units into their bytes again, so that every
// name comes back as the bytes it was.

std::u16string fileNameToUtf16(std::string_view bytes);
// Unpaired surrogates become U+FFFD.
std::string utf16ToFileName(std::u16string_view text);

QString fileNameToQString(std::string_view bytes);
std::string qStringToFileName(const QString &text);

}  // namespace zv
