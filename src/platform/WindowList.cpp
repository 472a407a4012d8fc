#include "platform/WindowList.h"

#include <QString>

namespace zv {

std::optional<TopLevelWindow> findWindowByTitle(const std::vector<TopLevelWindow> &windows,
                                                std::string_view title) {
    const QString wanted =
        QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())).toUpper();
    for (const TopLevelWindow &window : windows) {
        if (QString::fromStdString(window.title).toUpper() == wanted)
            return window;
    }
    return std::nullopt;
}

std::string windowTitleText(std::string_view bytes, bool latin1) {
    const auto size = static_cast<qsizetype>(bytes.size());
    QString text =
        latin1 ? QString::fromLatin1(bytes.data(), size) : QString::fromUtf8(bytes.data(), size);
    qsizetype units = 0;
    for (int chars = 0; units < text.size() && chars < kMaxWindowTitle; ++chars) {
        const bool pair = text[units].isHighSurrogate() && units + 1 < text.size() &&
                          text[units + 1].isLowSurrogate();
        units += pair ? 2 : 1;
    }
    text.truncate(units);
    return text.toStdString();
}

}  // namespace zv
