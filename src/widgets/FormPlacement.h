#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

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

    // Puts the window where it was last saved; does nothing when nothing is stored yet.
    void restore();
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

}  // namespace zv
