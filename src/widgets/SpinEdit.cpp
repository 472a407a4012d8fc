#include "widgets/SpinEdit.h"

#include <QLocale>
#include <algorithm>

namespace zv {

SpinEdit::SpinEdit(QWidget *parent) : QSpinBox(parent) {
    // Taken text outside the limits goes to the nearest limit, not back to the last value.
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

int SpinEdit::AsInteger() {
    interpretText();
    return value();
}

std::optional<qlonglong> SpinEdit::typedNumber(const QString &text) const {
    QStringView number(text);
    if (!prefix().isEmpty() && number.startsWith(prefix()))
        number = number.mid(prefix().size());
    if (!suffix().isEmpty() && number.endsWith(suffix()))
        number.chop(suffix().size());
    number = number.trimmed();
    bool ok = false;
    const qlonglong value = locale().toLongLong(number, &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

int SpinEdit::nearestLimit(qlonglong number) const {
    return static_cast<int>(std::clamp<qlonglong>(number, minimum(), maximum()));
}

QValidator::State SpinEdit::validate(QString &text, int &pos) const {
    const QString bare = text.trimmed();
    if (bare.isEmpty() || bare == prefix().trimmed() || bare == QLatin1String("-") ||
        bare == QLatin1String("+"))
        return QValidator::Intermediate;
    const std::optional<qlonglong> number = typedNumber(text);
    if (!number)
        return QValidator::Invalid;
    if (*number < minimum() || *number > maximum())
        return QValidator::Intermediate;
    return QSpinBox::validate(text, pos);
}

void SpinEdit::fixup(QString &input) const {
    // Text that makes no number (an emptied field) gives the last value back.
    const std::optional<qlonglong> number = typedNumber(input);
    input = textFromValue(number ? nearestLimit(*number) : value());
}

int SpinEdit::valueFromText(const QString &text) const {
    const std::optional<qlonglong> number = typedNumber(text);
    return number ? nearestLimit(*number) : value();
}

}  // namespace zv
