#include "widgets/FormPlacement.h"

#include <QEvent>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <utility>

namespace zv {

namespace {

QSettings store() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "ZORVideo", "ZORVideo");
}

}  // namespace

namespace {

// Runs an action once, when its window is first exposed after the filter is installed.
class OnExpose : public QObject {
public:
    OnExpose(QWidget *window, std::function<void()> action)
        : QObject(window), action_(std::move(action)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        auto *handle = qobject_cast<QWindow *>(watched);
        if (event->type() == QEvent::Expose && handle && handle->isExposed() && action_) {
            std::exchange(action_, nullptr)();
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> action_;
};

}  // namespace

void onFirstExpose(QWidget *window, std::function<void()> action) {
    window->winId();
    if (QWindow *handle = window->windowHandle())
        handle->installEventFilter(new OnExpose(window, std::move(action)));
}

void placeAtTopLeft(QWidget *window) {
    // QWidget::move before the first showing places the client area under some window managers
    // (a tool window under openbox: its title bar above the screen). Placed once more when the
    // window is exposed: the window manager has framed it then, so the frame's size is known.
    window->move(0, 0);
    onFirstExpose(window, [window] {
        if (const QScreen *screen = window->screen())
            window->move(screen->availableGeometry().topLeft());
    });
}

FormPlacement::FormPlacement(QWidget *form, QString name) : form_(form), name_(std::move(name)) {}

QString FormPlacement::group() const {
    QString name = name_.isEmpty() ? form_->objectName() : name_;
    return name.isEmpty() ? QStringLiteral("Form") : name;
}

bool FormPlacement::restore() {
    QSettings settings = store();
    settings.beginGroup(group());
    QByteArray geometry = settings.value("Geometry").toByteArray();
    return !geometry.isEmpty() && form_->restoreGeometry(geometry);
}

void FormPlacement::save() {
    save(form_->saveGeometry());
}

void FormPlacement::save(const QByteArray &geometry) {
    QSettings settings = store();
    settings.beginGroup(group());
    settings.setValue("Geometry", geometry);
}

QVariant FormPlacement::value(const QString &key, const QVariant &defaultValue) const {
    QSettings settings = store();
    settings.beginGroup(group());
    return settings.value(key, defaultValue);
}

void FormPlacement::setValue(const QString &key, const QVariant &value) {
    QSettings settings = store();
    settings.beginGroup(group());
    settings.setValue(key, value);
}

}  // namespace zv
