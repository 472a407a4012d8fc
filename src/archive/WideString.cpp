#include "archive/WideString.h"

#include <QString>

#include "platform/FileNameText.h"

namespace zv {

namespace {

QString toQString(const std::wstring &wide) {
    QString text(static_cast<qsizetype>(wide.size()), Qt::Uninitialized);
    QChar *out = text.data();
    for (size_t i = 0; i < wide.size(); ++i)
        out[i] = QChar(static_cast<char16_t>(wide[i]));
    return text;
}

std::wstring fromUtf16(std::u16string_view units) {
    return std::wstring(units.begin(), units.end());
}

}  // namespace

std::wstring utf8ToWide(std::string_view utf8) {
    return fromUtf16(fileNameToUtf16(utf8));
}

std::string wideToUtf8(const std::wstring &wide) {
    return qStringToFileName(toQString(wide));
}

std::wstring wideUpper(const std::wstring &wide) {
    // The kept bytes are private-use units, which have no case.
    const QString upper = toQString(wide).toUpper();
    return fromUtf16(std::u16string_view(reinterpret_cast<const char16_t *>(upper.utf16()),
                                         static_cast<size_t>(upper.size())));
}

}  // namespace zv
