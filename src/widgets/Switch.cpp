#include "widgets/Switch.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace zv {

Switch::Switch(QWidget *parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void Switch::setStateOn(bool on) {
    if (on_ == on)
        return;
    on_ = on;
    update();
}

void Switch::toggleByOperator() {
    on_ = !on_;
    update();
    emit clicked();
}

void Switch::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF slot = QRectF(rect()).adjusted(3.5, 1.5, -3.5, -1.5);
    const qreal radius = slot.width() / 2;
    p.setPen(QPen(palette().color(QPalette::Shadow), 1));
    p.setBrush(on_ ? QColor(60, 170, 60) : palette().color(QPalette::Mid));
    p.drawRoundedRect(slot, radius, radius);

    const qreal knobSize = slot.width() - 4;
    const qreal knobTop = on_ ? slot.top() + 2 : slot.bottom() - 2 - knobSize;
    const QRectF knob(slot.left() + 2, knobTop, knobSize, knobSize);
    p.setBrush(palette().color(QPalette::Button));
    p.drawEllipse(knob);
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

void Switch::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    QWidget::mousePressEvent(event);
}

void Switch::mouseReleaseEvent(QMouseEvent *event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click)
        toggleByOperator();
}

void Switch::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        toggleByOperator();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace zv
