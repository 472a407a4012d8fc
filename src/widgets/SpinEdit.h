#pragma once

#include <QSpinBox>
#include <optional>

namespace zv {

// The whole-number spin field of every window. A value from outside the limits becomes the
// nearest limit, whether the program sets it or the operator types it: typed text is taken on
// Enter, when the field loses the focus, and whenever a window reads the field (AsInteger), so
// that a button that takes no focus still gets what was typed. While the operator types, the
// text may stand outside the limits (typing 100 into a field of 50 .. 999 passes through 1 and
// 10); keys that cannot make a number are refused.
class SpinEdit : public QSpinBox {
public:
    explicit SpinEdit(QWidget *parent = nullptr);

    // Takes the typed text, if any, and returns the value: what a window reads.
    int AsInteger();

protected:
    QValidator::State validate(QString &text, int &pos) const override;
    void fixup(QString &input) const override;
    int valueFromText(const QString &text) const override;

private:
    // The number the text shows (prefix, suffix and blanks aside); nullopt when none.
    std::optional<qlonglong> typedNumber(const QString &text) const;
    int nearestLimit(qlonglong number) const;
};

}  // namespace zv
