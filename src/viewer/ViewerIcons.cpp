#include "viewer/ViewerIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace zv {

namespace {

const QColor kInk(0x20, 0x40, 0x80);
const QColor kGreen(0x1c, 0x8c, 0x2c);
const QColor kFolder(0xd8, 0xb0, 0x40);
// The colour of activity, as the strip under the slider draws it.
const QColor kActivity(0xe0, 0x60, 0x00);

void triangle(QPainter &p, qreal left, qreal width, const QColor &colour) {
    QPolygonF shape;
    shape << QPointF(left, 3) << QPointF(left + width, 8) << QPointF(left, 13);
    p.setBrush(colour);
    p.drawPolygon(shape);
}

void backTriangle(QPainter &p, qreal right, qreal width, const QColor &colour) {
    QPolygonF shape;
    shape << QPointF(right, 3) << QPointF(right - width, 8) << QPointF(right, 13);
    p.setBrush(colour);
    p.drawPolygon(shape);
}

QPixmap draw(ViewerIcon which) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    switch (which) {
        case ViewerIcon::First:
            p.fillRect(QRectF(3, 3, 2, 10), kInk);
            backTriangle(p, 13, 8, kInk);
            break;
        case ViewerIcon::Play:
            triangle(p, 4, 9, kGreen);
            break;
        case ViewerIcon::Play2x:
            triangle(p, 2, 6, kGreen);
            triangle(p, 8, 6, kGreen);
            break;
        case ViewerIcon::Play3x:
            triangle(p, 1, 5, kGreen);
            triangle(p, 6, 5, kGreen);
            triangle(p, 11, 4, kGreen);
            break;
        case ViewerIcon::Pause:
            p.fillRect(QRectF(4, 3, 3, 10), kInk);
            p.fillRect(QRectF(9, 3, 3, 10), kInk);
            break;
        case ViewerIcon::Stop:
            p.fillRect(QRectF(4, 4, 8, 8), QColor(0xb0, 0x20, 0x20));
            break;
        case ViewerIcon::Last:
            triangle(p, 3, 8, kInk);
            p.fillRect(QRectF(11, 3, 2, 10), kInk);
            break;
        case ViewerIcon::Open: {
            p.setPen(QPen(kFolder.darker(150), 1));
            p.setBrush(kFolder);
            QPainterPath folder;
            folder.moveTo(1.5, 3.5);
            folder.lineTo(6.5, 3.5);
            folder.lineTo(7.5, 5.5);
            folder.lineTo(14.5, 5.5);
            folder.lineTo(14.5, 13.5);
            folder.lineTo(1.5, 13.5);
            folder.closeSubpath();
            p.drawPath(folder);
            break;
        }
        case ViewerIcon::RePlay: {
            p.setPen(QPen(kInk, 2));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(3, 3, 10, 10), 30 * 16, 300 * 16);
            p.setPen(Qt::NoPen);
            QPolygonF head;
            head << QPointF(10, 1) << QPointF(15, 4) << QPointF(10, 7);
            p.setBrush(kInk);
            p.drawPolygon(head);
            break;
        }
        case ViewerIcon::PrevChange:
            p.fillRect(QRectF(2, 3, 3, 10), kActivity);
            backTriangle(p, 14, 7, kInk);
            break;
        case ViewerIcon::NextChange:
            triangle(p, 2, 7, kInk);
            p.fillRect(QRectF(11, 3, 3, 10), kActivity);
            break;
        case ViewerIcon::SkipStill: {
            p.fillRect(QRectF(1, 11, 14, 2), kActivity);
            p.setPen(QPen(kGreen, 2));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(3, 3, 10, 12), 20 * 16, 140 * 16);
            p.setPen(Qt::NoPen);
            QPolygonF head;
            head << QPointF(10, 4) << QPointF(15, 5) << QPointF(12, 9);
            p.setBrush(kGreen);
            p.drawPolygon(head);
            break;
        }
        case ViewerIcon::FindText:
            p.setPen(QPen(QColor(0x40, 0x40, 0x40), 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(10.5, 10.5), QPointF(14, 14));
            p.setPen(QPen(QColor(0x20, 0x40, 0x90), 2));
            p.setBrush(QColor(0xd8, 0xe8, 0xff));
            p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
            break;
    }
    return pixmap;
}

}  // namespace

QIcon viewerIcon(ViewerIcon which) {
    return QIcon(draw(which));
}

}  // namespace zv
