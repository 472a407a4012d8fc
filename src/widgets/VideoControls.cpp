#include "widgets/VideoControls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace zv {

void WrapCheckBox::paintEvent(QPaintEvent *) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_CheckBox, option);
    option.text = caption;
    QRect textRect = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    textRect.setRight(rect().right());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, caption);
}

bool WrapCheckBox::hitButton(const QPoint &pos) const {
    return rect().contains(pos);
}

void Picture::mousePressEvent(QMouseEvent *event) {
    event->accept();
    leftDown_ = event->button() == Qt::LeftButton;
    emit pressed();
}

void Picture::mouseReleaseEvent(QMouseEvent *event) {
    event->accept();
    const bool click = leftDown_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    leftDown_ = false;
    if (click)
        emit clicked();
}

namespace {

QPixmap transparentPixmap(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

}  // namespace

QPixmap recorderPicture(QSize size) {
    QPixmap pixmap = transparentPixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width(), h = size.height();
    QRectF body(w * 0.08, h * 0.28, w * 0.62, h * 0.50);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(90, 100, 120));
    p.drawRoundedRect(body, 3, 3);
    // Lens cone to the right of the body.
    QPainterPath cone;
    cone.moveTo(body.right(), body.center().y() - h * 0.08);
    cone.lineTo(w * 0.94, body.top());
    cone.lineTo(w * 0.94, body.bottom());
    cone.lineTo(body.right(), body.center().y() + h * 0.08);
    cone.closeSubpath();
    p.setBrush(QColor(60, 70, 90));
    p.drawPath(cone);
    // Two film reels on top.
    p.setBrush(QColor(150, 160, 180));
    const qreal reel = h * 0.24;
    p.drawEllipse(QRectF(body.left() + 1, body.top() - reel, reel, reel));
    p.drawEllipse(QRectF(body.left() + reel + 3, body.top() - reel, reel, reel));
    return pixmap;
}

QPixmap diskPicture(QSize size) {
    QPixmap pixmap = transparentPixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width(), h = size.height();
    QRectF box(w * 0.1, h * 0.25, w * 0.8, h * 0.5);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(170, 170, 175));
    p.drawRoundedRect(box, 3, 3);
    p.setBrush(QColor(120, 120, 125));
    p.drawRect(QRectF(box.left() + 3, box.top() + 3, box.width() * 0.55, box.height() - 6));
    p.setBrush(QColor(40, 200, 60));
    p.drawEllipse(QRectF(box.right() - 7, box.center().y() - 2, 4, 4));
    return pixmap;
}

QPixmap alarmMarkPicture(QSize size) {
    QPixmap pixmap = transparentPixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal inset = 4;
    p.setPen(QPen(QColor(220, 0, 0), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(inset, inset), QPointF(size.width() - inset, size.height() - inset));
    p.drawLine(QPointF(size.width() - inset, inset), QPointF(inset, size.height() - inset));
    return pixmap;
}

QPixmap folderPicture(QSize size) {
    QPixmap pixmap = transparentPixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width(), h = size.height();
    p.setPen(QPen(QColor(120, 90, 20), 1));
    p.setBrush(QColor(240, 200, 80));
    QPainterPath folder;
    folder.moveTo(1, h * 0.2);
    folder.lineTo(w * 0.4, h * 0.2);
    folder.lineTo(w * 0.5, h * 0.32);
    folder.lineTo(w - 1, h * 0.32);
    folder.lineTo(w - 1, h - 2);
    folder.lineTo(1, h - 2);
    folder.closeSubpath();
    p.drawPath(folder);
    return pixmap;
}

QPixmap filmPicture(QSize size) {
    QPixmap pixmap = transparentPixmap(size);
    QPainter p(&pixmap);
    const int w = size.width(), h = size.height();
    p.fillRect(QRect(2, 0, w - 4, h), QColor(50, 50, 50));
    p.fillRect(QRect(6, 3, w - 12, h - 6), QColor(120, 170, 230));
    for (int y = 1; y < h - 2; y += 4) {
        p.fillRect(QRect(3, y, 2, 2), Qt::white);
        p.fillRect(QRect(w - 5, y, 2, 2), Qt::white);
    }
    return pixmap;
}

QPixmap applyPicture(QSize size, bool enabled) {
    QPixmap pixmap = transparentPixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width(), h = size.height();
    p.setPen(QPen(enabled ? QColor(0, 140, 0) : QColor(150, 150, 150), 3, Qt::SolidLine,
                  Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(w * 0.15, h * 0.55);
    tick.lineTo(w * 0.42, h * 0.8);
    tick.lineTo(w * 0.88, h * 0.2);
    p.drawPath(tick);
    return pixmap;
}

}  // namespace zv
