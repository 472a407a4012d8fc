#include "OperatorScreens.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace zvtest {

namespace {

const QColor kDesktop(58, 110, 165);
const QColor kNavy(10, 36, 106);
const QColor kFace(212, 208, 200);

// Value noise: a hash of the lattice point, smoothly interpolated.
double lattice(int x, int y, int seed) {
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
                 static_cast<uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<double>((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

double noise(double x, double y, int seed) {
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    const double fx = x - x0, fy = y - y0;
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const double top = lattice(x0, y0, seed) * (1 - sx) + lattice(x0 + 1, y0, seed) * sx;
    const double low = lattice(x0, y0 + 1, seed) * (1 - sx) + lattice(x0 + 1, y0 + 1, seed) * sx;
    return top * (1 - sy) + low * sy;
}

double texture(double x, double y, int seed) {
    double sum = 0, amplitude = 0.5, frequency = 1;
    for (int octave = 0; octave < 5; ++octave) {
        sum += amplitude * noise(x * frequency, y * frequency, seed + octave);
        amplitude /= 2;
        frequency *= 2;
    }
    return sum;
}

int clampByte(double v) {
    return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0)));
}

// A window: face, title bar (plain or gradient), title text; returns the client area.
QRect drawWindow(QPainter &p, const QRect &r, const QString &title, bool gradientBar) {
    p.fillRect(r, kFace);
    p.setPen(Qt::white);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(QColor(64, 64, 64));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    const QRect bar(r.left() + 3, r.top() + 3, r.width() - 6, 22);
    if (gradientBar) {
        QLinearGradient g(bar.topLeft(), bar.topRight());
        g.setColorAt(0, kNavy);
        g.setColorAt(1, QColor(166, 202, 240));
        p.fillRect(bar, g);
    } else {
        p.fillRect(bar, kNavy);
    }
    QFont font("DejaVu Sans");
    font.setPixelSize(13);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(bar.adjusted(6, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, title);
    return r.adjusted(4, 28, -4, -4);
}

void drawTaskbar(QPainter &p, int width, int height) {
    const QRect task(0, height - 30, width, 30);
    p.fillRect(task, kFace);
    p.setPen(Qt::white);
    p.drawLine(task.topLeft(), task.topRight());
    QFont font("DejaVu Sans");
    font.setPixelSize(12);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRect(4, task.top() + 4, 60, 22), Qt::AlignCenter, "Пуск");
    p.drawText(QRect(width - 80, task.top() + 4, 76, 22), Qt::AlignCenter, "08:15");
}

// A table of text: header row, zebra rows, a selected row, numbers and names.
void drawTable(QPainter &p, const QRect &area, int rows, int seed) {
    p.fillRect(area, Qt::white);
    QFont font("DejaVu Sans");
    font.setPixelSize(12);
    p.setFont(font);
    static const char *kNames[] = {"АИ-92", "АИ-95", "ДТ", "Газ", "АИ-98", "Масло"};
    const int rowHeight = 18, columns = 5;
    const int columnWidth = area.width() / columns;
    for (int row = 0; row < rows && area.top() + (row + 1) * rowHeight < area.bottom(); ++row) {
        const QRect line(area.left(), area.top() + row * rowHeight, area.width(), rowHeight);
        QColor back = row == 0 ? kFace : (row % 2 ? QColor(238, 242, 250) : QColor(Qt::white));
        if (row == 4)
            back = kNavy;
        p.fillRect(line, back);
        p.setPen(row == 4 ? Qt::white : Qt::black);
        for (int c = 0; c < columns; ++c) {
            const QRect cell(line.left() + c * columnWidth + 4, line.top(), columnWidth - 8,
                             rowHeight);
            QString text;
            if (row == 0)
                text = QString("Колонка %1").arg(c + 1);
            else if (c == 0)
                text = QString::number(1000 + row * 7 + seed);
            else if (c == 1)
                text = kNames[(row + seed) % 6];
            else
                text = QString::number((row * 37 + c * 113 + seed) % 9000 / 100.0, 'f', 2);
            p.drawText(cell, Qt::AlignVCenter | (c >= 2 ? Qt::AlignRight : Qt::AlignLeft), text);
        }
        p.setPen(QColor(200, 200, 200));
        p.drawLine(line.bottomLeft(), line.bottomRight());
    }
}

void busy(QPainter &p, int w, int h) {
    QLinearGradient wall(0, 0, w, h);
    wall.setColorAt(0, QColor(20, 60, 120));
    wall.setColorAt(0.5, QColor(90, 140, 190));
    wall.setColorAt(1, QColor(30, 100, 80));
    p.fillRect(0, 0, w, h, wall);
    const QRect photoWindow(w / 20, h / 12, w * 9 / 20, h * 5 / 9);
    const QRect client = drawWindow(p, photoWindow, "Камера 3 — снимок", true);
    p.drawImage(client.topLeft(), photoPicture(client.width(), client.height()));
    const QRect tableWindow(w / 2, h / 8, w * 9 / 20, h * 2 / 3);
    drawTable(p, drawWindow(p, tableWindow, "Продажи за смену", true), 60, 3);
    const QRect form(w / 10, h * 2 / 3, w / 3, h / 4);
    const QRect inner = drawWindow(p, form, "Оплата", true);
    QFont font("DejaVu Sans");
    font.setPixelSize(14);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(inner.adjusted(10, 10, -10, -10), Qt::AlignLeft | Qt::AlignTop,
               "Сумма: 1 234,56 руб.\nЧек № 000417\nКолонка 4, АИ-95, 23,70 л");
    drawTaskbar(p, w, h);
}

void flat(QPainter &p, int w, int h) {
    p.fillRect(0, 0, w, h, kDesktop);
    const QRect main(w / 12, h / 10, w / 2, h / 2);
    drawTable(p, drawWindow(p, main, "Смена 12 — журнал", false), 40, 5);
    const QRect dialog(w / 2, h / 2, w / 3, h / 4);
    const QRect inner = drawWindow(p, dialog, "Подтверждение", false);
    QFont font("DejaVu Sans");
    font.setPixelSize(13);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(inner.adjusted(12, 12, -12, -50), Qt::AlignLeft | Qt::AlignTop,
               "Закрыть смену и напечатать отчёт?");
    for (int i = 0; i < 2; ++i) {
        const QRect button(inner.left() + 12 + i * 110, inner.bottom() - 40, 100, 28);
        p.fillRect(button, kFace);
        p.setPen(Qt::black);
        p.drawRect(button);
        p.drawText(button, Qt::AlignCenter, i == 0 ? "Да" : "Нет");
    }
    drawTaskbar(p, w, h);
}

void text(QPainter &p, int w, int h) {
    p.fillRect(0, 0, w, h, Qt::white);
    const QRect area = drawWindow(p, QRect(0, 0, w, h - 30), "Отчёт.xls", false);
    drawTable(p, area, 200, 11);
    drawTaskbar(p, w, h);
}

void gradients(QPainter &p, int w, int h) {
    QLinearGradient wall(0, 0, 0, h);
    wall.setColorAt(0, QColor(0, 40, 90));
    wall.setColorAt(1, QColor(200, 220, 255));
    p.fillRect(0, 0, w, h, wall);
    for (int i = 0; i < 4; ++i) {
        const QRect r(w / 16 + i * w / 5, h / 10 + i * h / 8, w / 3, h / 3);
        const QRect inner = drawWindow(p, r, QString("Окно %1").arg(i + 1), true);
        QLinearGradient face(inner.topLeft(), inner.bottomRight());
        face.setColorAt(0, QColor(250, 250, 250));
        face.setColorAt(1, QColor(180 + i * 10, 190, 160 + i * 20));
        p.fillRect(inner, face);
        QFont font("DejaVu Sans");
        font.setPixelSize(13);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(inner.adjusted(10, 10, -10, -10), Qt::AlignLeft | Qt::AlignTop,
                   "Колонка 2: АИ-95\nОплачено: 2 500,00 руб.");
    }
    drawTaskbar(p, w, h);
}

}  // namespace

std::vector<std::string> operatorScreenKinds() {
    return {"busy", "flat", "text", "gradients"};
}

QImage operatorScreen(const std::string &kind, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    if (kind == "busy")
        busy(p, width, height);
    else if (kind == "flat")
        flat(p, width, height);
    else if (kind == "text")
        text(p, width, height);
    else if (kind == "gradients")
        gradients(p, width, height);
    else
        throw std::invalid_argument("no such screen: " + kind);
    p.end();
    return image;
}

QImage photoPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<uint32_t *>(image.scanLine(y));
        const double v = static_cast<double>(y) / height;
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width;
            const double hill = 0.55 + 0.12 * std::sin(u * 7.0) + 0.05 * std::sin(u * 23.0 + 1);
            const double t = texture(x / 24.0, y / 24.0, 7);
            double r, g, b;
            if (v < hill) {  // sky with clouds
                const double cloud =
                    std::clamp((texture(x / 60.0, y / 30.0, 3) - 0.45) * 3, 0.0, 1.0);
                r = 90 + 90 * v + 140 * cloud;
                g = 140 + 70 * v + 100 * cloud;
                b = 210 + 30 * v + 30 * cloud;
            } else {  // grass and earth
                const double d = (v - hill) / (1 - hill);
                r = 60 + 80 * t + 60 * d;
                g = 110 + 90 * t - 30 * d;
                b = 40 + 40 * t;
            }
            line[x] = 0xFF000000u | (uint32_t(clampByte(r)) << 16) | (uint32_t(clampByte(g)) << 8) |
                      uint32_t(clampByte(b));
        }
    }
    return image;
}

double psnr(const uint32_t *a, const uint32_t *b, size_t count) {
    double sum = 0;
    for (size_t i = 0; i < count; ++i) {
        for (int shift : {16, 8, 0}) {
            const double d = static_cast<double>((a[i] >> shift) & 0xFF) -
                             static_cast<double>((b[i] >> shift) & 0xFF);
            sum += d * d;
        }
    }
    if (sum == 0)
        return 99.0;
    const double mse = sum / (3.0 * static_cast<double>(count));
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

double psnr(const QImage &a, const QImage &b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    if (x.size() != y.size())
        throw std::invalid_argument("psnr: pictures of different sizes");
    // Row by row: the images may carry padding at the ends of their rows.
    std::vector<uint32_t> all(static_cast<size_t>(x.width()) * x.height()), other(all.size());
    for (int row = 0; row < x.height(); ++row) {
        std::memcpy(all.data() + static_cast<size_t>(row) * x.width(), x.constScanLine(row),
                    static_cast<size_t>(x.width()) * 4);
        std::memcpy(other.data() + static_cast<size_t>(row) * x.width(), y.constScanLine(row),
                    static_cast<size_t>(x.width()) * 4);
    }
    return psnr(all.data(), other.data(), all.size());
}

}  // namespace zvtest
