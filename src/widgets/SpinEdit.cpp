#include "widgets/SpinEdit.h"

#include <QApplication>
#include <QLocale>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionSpinBox>
#include <algorithm>

namespace zv {

namespace {

// The application's style, except that a spin field's edit reaches up to its buttons: the
// design's 64-pixel fields hold seven digits of Tahoma 8 pt, which the usual gap between edit
// and buttons would cut to six.
class SpinFieldStyle : public QProxyStyle {
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl part,
                         const QWidget *widget) const override {
        QRect rect = QProxyStyle::subControlRect(control, option, part, widget);
        const auto *spin = qstyleoption_cast<const QStyleOptionSpinBox *>(option);
        if (control == CC_SpinBox && part == SC_SpinBoxEditField && spin &&
            spin->buttonSymbols != QAbstractSpinBox::NoButtons) {
            const QRect up = QProxyStyle::subControlRect(control, option, SC_SpinBoxUp, widget);
            if (up.isValid() && up.left() - 1 > rect.right())
                rect.setRight(up.left() - 1);
        }
        return rect;
    }
};

// One for every spin field, living as long as the application.
QStyle *spinFieldStyle() {
    static QPointer<QStyle> style;
    if (!style) {
        style = new SpinFieldStyle;
        style->setParent(QApplication::instance());
    }
    return style;
}

}  // namespace

SpinEdit::SpinEdit(QWidget *parent) : QSpinBox(parent) {
    // Taken text outside the limits goes to the nearest limit, not back to the last value.
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    setStyle(spinFieldStyle());
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
