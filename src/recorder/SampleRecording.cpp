#include "recorder/SampleRecording.h"

#include <QFont>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "container/GifImage.h"
#include "container/ZVFAppender.h"
#include "container/ZVFConstants.h"
#include "platform/DateTime.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "platform/Paths.h"
#include "recorder/FrameEncoding.h"

namespace {

constexpr double kMsPerDay = 86'400'000.0;

// Deterministic "random" numbers per sale so that every run renders the same recording.
uint32_t mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

struct Sale {
    int receipt;
    int pump;
    const char *fuel;
    double litres;
    double price;
    const char *payment;
};

Sale saleNumber(int n) {
    static const char *const kFuel[] = {"АИ-92", "АИ-95", "АИ-98", "ДТ", "Газ"};
    static const double kPrice[] = {46.90, 51.20, 62.50, 58.70, 24.30};
    static const char *const kPay[] = {"Наличные", "Карта", "Топл. карта"};
    uint32_t r = mix(static_cast<uint32_t>(n) + 1);
    int fuel = static_cast<int>(r % 5);
    return Sale{10'000 + n,   static_cast<int>((r >> 4) % 6) + 1,
                kFuel[fuel],  5.0 + static_cast<double>((r >> 8) % 5'500) / 100.0,
                kPrice[fuel], kPay[(r >> 20) % 3]};
}

QString timeText(double dateTime, bool withDate) {
    zv::DateTimeFields f = zv::decodeDateTime(dateTime);
    char text[40];
    if (withDate)
        std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", f.day, f.month, f.year,
                      f.hour, f.minute, f.second);
    else
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", f.hour, f.minute, f.second);
    return QString::fromUtf8(text);
}

// A window frame in the style of the workstations the recorder runs on.
QRect drawWindow(QPainter &p, const QRect &r, const QString &title, int unit) {
    p.fillRect(r, QColor(212, 208, 200));
    p.setPen(QColor(128, 128, 128));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    QRect bar(r.left() + 3, r.top() + 3, r.width() - 6, unit * 2);
    QLinearGradient g(bar.topLeft(), bar.topRight());
    g.setColorAt(0, QColor(10, 36, 106));
    g.setColorAt(1, QColor(166, 202, 240));
    p.fillRect(bar, g);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    p.setFont(f);
    p.drawText(bar.adjusted(unit / 2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, title);
    f.setBold(false);
    p.setFont(f);
    for (int i = 0; i < 3; ++i) {
        QRect b(bar.right() - (i + 1) * (unit * 2 - 2), bar.top() + 2, unit * 2 - 6, unit * 2 - 4);
        p.fillRect(b, QColor(212, 208, 200));
        p.setPen(Qt::black);
        p.drawText(b, Qt::AlignCenter, i == 0 ? "×" : (i == 1 ? "□" : "_"));
    }
    return QRect(r.left() + 4, bar.bottom() + 3, r.width() - 8, r.bottom() - bar.bottom() - 6);
}

}  // namespace

QImage renderSampleScreen(int width, int height, double dateTime, int frameNumber) {
    if (!QGuiApplication::instance())
        throw zv::Error("Для отрисовки кадров нужен QGuiApplication");
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    const int unit = std::max(6, height / 64);  // one text line
    QFont font("DejaVu Sans");
    font.setPixelSize(std::max(5, unit * 3 / 4));
    p.setFont(font);

    QLinearGradient desk(0, 0, 0, height);
    desk.setColorAt(0, QColor(0, 92, 110));
    desk.setColorAt(1, QColor(0, 50, 70));
    p.fillRect(image.rect(), desk);

    // Task bar with the running clock.
    QRect task(0, height - unit * 2, width, unit * 2);
    p.fillRect(task, QColor(212, 208, 200));
    p.setPen(Qt::white);
    p.drawLine(task.topLeft(), task.topRight());
    p.setPen(Qt::black);
    QRect start(2, task.top() + 2, unit * 5, unit * 2 - 4);
    p.drawRect(start);
    p.drawText(start, Qt::AlignCenter, "Пуск");
    QRect clock(width - unit * 12, task.top() + 2, unit * 12 - 2, unit * 2 - 4);
    p.setPen(QColor(128, 128, 128));
    p.drawRect(clock);
    p.setPen(Qt::black);
    p.drawText(clock, Qt::AlignCenter, timeText(dateTime, true));
    p.drawText(QRect(start.right() + unit, task.top(), unit * 20, unit * 2),
               Qt::AlignVCenter | Qt::AlignLeft, "Оператор АЗС   |   ZORVideoService");

    // The operator's main window.
    QRect mainRect(unit, unit, width - 2 * unit, task.top() - 2 * unit);
    QRect client = drawWindow(p, mainRect, "АЗС №12 — Рабочее место оператора", unit);
    p.setPen(Qt::black);
    p.drawText(QRect(client.left() + unit / 2, client.top(), client.width(), unit * 3 / 2),
               Qt::AlignVCenter | Qt::AlignLeft,
               "Файл    Смена    Продажи    Отчеты    Сервис    Справка");
    client.setTop(client.top() + unit * 2);

    // Pumps on the left: a pump fills for a while, then waits for payment.
    const int saleEvery = 5;
    const int currentSale = 40 + frameNumber / saleEvery;  // the shift began before the recording
    QRect pumps(client.left(), client.top(), client.width() / 4, client.height());
    int tileH = pumps.height() / 6;
    for (int i = 0; i < 6; ++i) {
        QRect tile(pumps.left() + unit / 2, pumps.top() + i * tileH + unit / 4,
                   pumps.width() - unit, tileH - unit / 2);
        Sale s = saleNumber(currentSale);
        bool active = s.pump == i + 1;
        int phase = frameNumber % saleEvery;
        QColor colour = !active ? QColor(170, 220, 170)
                                : (phase < 3 ? QColor(250, 220, 120) : QColor(240, 150, 140));
        p.fillRect(tile, colour);
        p.setPen(Qt::black);
        p.drawRect(tile);
        QString status = !active ? "Свободна" : (phase < 3 ? "Налив" : "Оплата");
        QString litres = active ? QString::number(s.litres * std::min(phase + 1, 3) / 3, 'f', 2)
                                : QString("0.00");
        p.drawText(tile.adjusted(unit / 2, unit / 4, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   QString("ТРК %1   %2").arg(i + 1).arg(status));
        p.drawText(tile.adjusted(unit / 2, 0, -unit / 2, -unit / 4),
                   Qt::AlignLeft | Qt::AlignBottom,
                   QString("%1   %2 л").arg(active ? s.fuel : "").arg(litres));
    }

    // The table of fuel sales, newest at the bottom.
    QRect table(pumps.right() + unit / 2, client.top(), client.right() - pumps.right() - unit / 2,
                client.height());
    p.fillRect(table, Qt::white);
    p.setPen(QColor(128, 128, 128));
    p.drawRect(table);
    static const char *const kHeads[] = {"Чек",   "Время", "ТРК",   "Топливо",
                                         "Литры", "Цена",  "Сумма", "Оплата"};
    static const int kWidths[] = {8, 10, 5, 9, 9, 9, 11, 12};
    const int totalWidth = 73;
    const int rowH = unit + unit / 3;
    int x = table.left();
    std::vector<int> columns;
    for (int c = 0; c < 8; ++c) {
        columns.push_back(x);
        int w = table.width() * kWidths[c] / totalWidth;
        QRect head(x, table.top(), w, rowH);
        p.fillRect(head, QColor(212, 208, 200));
        p.setPen(QColor(128, 128, 128));
        p.drawRect(head);
        p.setPen(Qt::black);
        p.drawText(head, Qt::AlignCenter, kHeads[c]);
        x += w;
    }
    columns.push_back(table.right());
    const int rows = std::max(1, (table.height() - 3 * rowH) / rowH);
    double total = 0;
    for (int k = 0; k < rows; ++k) {
        int n = currentSale - rows + 1 + k;
        if (n < 0)
            continue;
        Sale s = saleNumber(n);
        double saleTime = dateTime - (currentSale - n) * saleEvery * 1000.0 / kMsPerDay;
        QRect row(table.left(), table.top() + rowH * (k + 1), table.width(), rowH);
        if (n == currentSale)
            p.fillRect(row, QColor(10, 36, 106));
        else if (k % 2)
            p.fillRect(row, QColor(238, 242, 250));
        p.setPen(n == currentSale ? Qt::white : Qt::black);
        double sum = s.litres * s.price;
        total += sum;
        QString cells[8] = {QString::number(s.receipt),        timeText(saleTime, false),
                            QString::number(s.pump),           QString::fromUtf8(s.fuel),
                            QString::number(s.litres, 'f', 2), QString::number(s.price, 'f', 2),
                            QString::number(sum, 'f', 2),      QString::fromUtf8(s.payment)};
        for (int c = 0; c < 8; ++c)
            p.drawText(QRect(columns[c] + unit / 3, row.top(),
                             columns[c + 1] - columns[c] - unit / 2, rowH),
                       Qt::AlignVCenter | (c >= 4 && c <= 6 ? Qt::AlignRight : Qt::AlignLeft),
                       cells[c]);
    }
    QRect footer(table.left(), table.bottom() - rowH * 3 / 2, table.width(), rowH * 3 / 2);
    p.fillRect(footer, QColor(212, 208, 200));
    p.setPen(Qt::black);
    p.drawText(footer.adjusted(unit, 0, -unit, 0), Qt::AlignVCenter | Qt::AlignLeft,
               QString("Смена №%1   Чеков: %2").arg(148).arg(currentSale + 1));
    p.drawText(footer.adjusted(unit, 0, -unit, 0), Qt::AlignVCenter | Qt::AlignRight,
               QString("Итого на экране: %1 руб.").arg(total, 0, 'f', 2));

    // Now and then the receipt printer's dialog stands over the table.
    if (frameNumber % 30 >= 25) {
        QRect dialog(width / 2 - unit * 12, height / 2 - unit * 4, unit * 24, unit * 8);
        QRect inner = drawWindow(p, dialog, "Печать чека", unit);
        p.setPen(Qt::black);
        p.drawText(inner.adjusted(unit, unit / 2, -unit, 0), Qt::AlignTop | Qt::AlignLeft,
                   QString("Чек %1 печатается...").arg(saleNumber(currentSale).receipt));
        QRect bar(inner.left() + unit, inner.bottom() - unit * 2, inner.width() - 2 * unit, unit);
        p.drawRect(bar);
        p.fillRect(bar.adjusted(1, 1, -bar.width() * (29 - frameNumber % 30) / 5, -1),
                   QColor(10, 36, 106));
    }
    p.end();
    return image;
}

std::vector<uint8_t> encodeSampleScreen(const QImage &screen, int quality) {
    zv::GifEncoder encoder;
    return encodeSampleScreen(encoder, screen, quality);
}

const std::vector<uint8_t> &encodeSampleScreen(zv::GifEncoder &encoder, const QImage &screen,
                                               int quality) {
    const QImage rgb32 = screen.format() == QImage::Format_RGB32
                             ? screen
                             : screen.convertToFormat(QImage::Format_RGB32);
    const zv::ScreenImage image{reinterpret_cast<const uint32_t *>(rgb32.constBits()),
                                rgb32.width(), rgb32.height(),
                                static_cast<size_t>(rgb32.bytesPerLine()) / 4};
    return zv::encodeScreen(encoder, image, quality);
}

void writeSampleRecording(const std::string &nativeFile, const SampleOptions &o) {
    if (o.frames < 0 || o.frames > zvf::kCapacity)
        throw zv::Error("Недопустимое число кадров: " + std::to_string(o.frames));
    if (o.width < 16 || o.height < 16 || o.width > 8192 || o.height > 8192)
        throw zv::Error("Недопустимый размер кадра: " + std::to_string(o.width) + "x" +
                        std::to_string(o.height));
    if (o.quality != 4 && o.quality != 8)
        throw zv::Error("Недопустимое качество: " + std::to_string(o.quality));
    if (o.delayMs < 0)
        throw zv::Error("Недопустимая задержка: " + std::to_string(o.delayMs));
    if (!QGuiApplication::instance())
        throw zv::Error("Для отрисовки кадров нужен QGuiApplication");

    const std::string path = zv::nativePath(nativeFile);
    // Replacing truncates in place, so that a reader holding the file open sees the new one.
    if (!o.append && std::filesystem::exists(path)) {
        std::error_code ec;
        std::filesystem::resize_file(path, 0, ec);
        if (ec)
            throw zv::Error(
                zv::systemErrorText("Не удается записать файл \"" + path + "\"", ec.value()));
    }
    ZVFAppender writer(path);
    const int first = writer.frameCount() > 0 ? writer.frameCount() : 0;
    const double start = o.start ? *o.start : zv::nowDateTime();
    zv::GifEncoder encoder;
    for (int i = 0; i < o.frames; ++i) {
        const double at = start + static_cast<double>(i) * o.delayMs / kMsPerDay;
        const QImage screen = renderSampleScreen(o.width, o.height, at, first + i);
        zv::appendFrame(writer, encodeSampleScreen(encoder, screen, o.quality), at);
    }
}
