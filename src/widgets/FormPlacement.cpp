#include "widgets/FormPlacement.h"

#include <QSettings>
#include <QWidget>

namespace zv {

namespace {

QSettings store() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "ZORVideo", "ZORVideo");
}

}  // namespace

FormPlacement::FormPlacement(QWidget *form, QString name) : form_(form), name_(std::move(name)) {}

QString FormPlacement::group() const {
    QString name = name_.isEmpty() ? form_->objectName() : name_;
    return name.isEmpty() ? QStringLiteral("Form") : name;
}

void FormPlacement::restore() {
    QSettings settings = store();
    settings.beginGroup(group());
    QByteArray geometry = settings.value("Geometry").toByteArray();
    if (!geometry.isEmpty())
        form_->restoreGeometry(geometry);
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
