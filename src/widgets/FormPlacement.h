#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <functional>

class QWidget;

namespace zv {

// Stand-in for the form-placement and form-storage components: keeps a window's position, size and
// state, and any named values, between showings and between runs. The store is QSettings (per user,
// INI format, organisation and application "ZORVideo"), one group per window name. Tests point
// QSettings at a temporary folder (XDG_CONFIG_HOME).
class FormPlacement {
public:
    // The form is not owned; name is the window's name (its objectName when empty).
    explicit FormPlacement(QWidget *form, QString name = {});

    // Puts the window where it was last saved; false, with nothing done, when nothing is stored.
    bool restore();
    // Stores position, size and state.
    void save();
    // Stores a placement taken earlier with QWidget::saveGeometry (the normal placement of a
    // window that is full screen now).
    void save(const QByteArray &geometry);

    // Named values of the window (form storage).
    QVariant value(const QString &key, const QVariant &defaultValue = {}) const;
    void setValue(const QString &key, const QVariant &value);

private:
    QString group() const;

    QWidget *form_;
    QString name_;
};

// Runs action once, when the window is next exposed (shown and drawn by the window manager).
void onFirstExpose(QWidget *window, std::function<void()> action);

// Puts a window that has no stored placement with its frame (title bar included) at the top-left
// corner of its screen's available area, so that the title bar and its close button are on the
// screen under any window manager. Before the window is first exposed (from its showEvent).
void placeAtTopLeft(QWidget *window);

}  // namespace zv
