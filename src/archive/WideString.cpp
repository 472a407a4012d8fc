#include "archive/WideString.h"

#include <QString>

namespace zv {

namespace {

QString toQString(const std::wstring &wide) {
    QString text(static_cast<qsizetype>(wide.size()), Qt::Uninitialized);
    QChar *out = text.data();
    for (size_t i = 0; i < wide.size(); ++i)
        out[i] = QChar(static_cast<char16_t>(wide[i]));
    return text;
}

std::wstring fromQString(const QString &text) {
    std::wstring wide(static_cast<size_t>(text.size()), L'\0');
    const auto *units = text.utf16();
    for (size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<wchar_t>(units[i]);
    return wide;
}

}  // namespace

std::wstring utf8ToWide(std::string_view utf8) {
    return fromQString(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

std::string wideToUtf8(const std::wstring &wide) {
    return toQString(wide).toUtf8().toStdString();
}

std::wstring wideUpper(const std::wstring &wide) {
    return fromQString(toQString(wide).toUpper());
}

}  // namespace zv
