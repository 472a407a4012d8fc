#include "widgets/KeypadKeys.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

namespace zv {

KeypadKeys::KeypadKeys(QWidget *window) : QObject(window), window_(window) {
    QCoreApplication::instance()->installEventFilter(this);
}

KeypadKeys::~KeypadKeys() {
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

void KeypadKeys::bind(int key, QAction *action) {
    keys_.emplace_back(key, action);
}

bool KeypadKeys::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (!(key->modifiers() & Qt::KeypadModifier))
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    if (widget->window() != window_)
        return false;
    QAction *action = nullptr;
    for (const auto &[code, bound] : keys_)
        if (code == key->key())
            action = bound;
    if (!action || !action->isEnabled())
        return false;
    // Ask the receiver as the shortcut map asks the focus widget: one that accepts the override
    // (an edit field typing the character) keeps the key.
    QKeyEvent probe(QEvent::ShortcutOverride, key->key(), key->modifiers(), key->nativeScanCode(),
                    key->nativeVirtualKey(), key->nativeModifiers(), key->text(),
                    key->isAutoRepeat(), static_cast<ushort>(key->count()));
    probe.ignore();
    QCoreApplication::sendEvent(watched, &probe);
    if (probe.isAccepted())
        return false;
    action->trigger();
    return true;
}

}  // namespace zv
