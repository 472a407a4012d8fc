#pragma once

#include <QObject>
#include <utility>
#include <vector>

class QAction;
class QWidget;

namespace zv {

// Triggers a window's actions for keys of the numeric keypad. On X11, Qt 6.4 matches shortcuts
// without the keypad modifier, so a shortcut for "keypad −" never fires there (keypad + fires only
// through a plain "+" shortcut). This filter takes the key press that no shortcut took and
// triggers the action itself, unless the widget with the focus wants the key (an edit field), as
// it would keep it from a shortcut too. Where the shortcut does fire, no key press follows, so an
// action is never triggered twice.
//
// Installed on the application for the lifetime of the object; acts only on key presses sent to
// the window or a widget inside it.
class KeypadKeys : public QObject {
public:
    // window is not owned and must outlive the object (make the object its child).
    explicit KeypadKeys(QWidget *window);
    ~KeypadKeys() override;

    // key (Qt::Key_Minus, Qt::Key_Plus, ...) pressed on the keypad triggers action.
    void bind(int key, QAction *action);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *window_;
    std::vector<std::pair<int, QAction *>> keys_;
};

}  // namespace zv
