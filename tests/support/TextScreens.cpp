#include "TextScreens.h"

#include <QFontDatabase>
#include <QPainter>
#include <QRegularExpression>
#include <QStringList>

namespace zvtest {

namespace {

const QChar kNbsp(0x00A0);

struct Palette {
    QColor desktop, face, text, header, headerText, selected, selectedText, bar, barText, border;
};

Palette paletteOf(bool dark) {
    if (dark)
        return {QColor(24, 26, 30), QColor(40, 44, 52),    QColor(225, 228, 232),
                QColor(58, 64, 76), QColor(240, 240, 240), QColor(200, 210, 225),
                QColor(16, 20, 28), QColor(12, 40, 90),    QColor(255, 255, 255),
                QColor(90, 96, 110)};
    return {QColor(236, 233, 216), QColor(212, 208, 200), QColor(0, 0, 0),
            QColor(228, 226, 220), QColor(0, 0, 0),       QColor(10, 36, 106),
            QColor(255, 255, 255), QColor(10, 36, 106),   QColor(255, 255, 255),
            QColor(128, 128, 128)};
}

// A small deterministic generator, so that every variant holds other numbers.
struct Numbers {
    uint32_t state;
    int next(int below) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % static_cast<uint32_t>(below));
    }
};

QString grouped(int whole, int cents, QChar separator) {
    QString digits = QString::number(whole);
    for (int i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, separator);
    return digits + "," + QString("%1").arg(cents, 2, 10, QChar('0'));
}

const QStringList kNames = {"Смирнова Ольга", "Иванов Пётр",      "Кузнецов Алексей",
                            "Соловьёва Анна", "Михайлов Дмитрий", "Фёдорова Елена",
                            "Ivanova Maria",  "Petrov Sergey"};
const QStringList kFuels = {"АИ-92", "АИ-95", "ДТ Евро", "Газ", "Shell V-Power", "Diesel Premium"};
const QStringList kPayments = {"Наличные", "Банковская карта", "Visa Classic", "MasterCard",
                               "Топливная карта"};

// Draws lines of text and notes the terms they hold.
class Writer {
public:
    Writer(QPainter &p, TextScreen &screen) : p_(p), screen_(screen) {}

    void text(const QRect &r, int flags, const QString &line) {
        p_.drawText(r, flags, line);
        note(line);
    }

private:
    void note(const QString &line) {
        // Amounts are one term although their groups are apart.
        QString joined = line;
        joined.replace(QRegularExpression(QString("(\\d)[ %1](?=\\d{3}\\b)").arg(kNbsp)),
                       "\\1\x01");
        for (QString term : joined.split(' ', Qt::SkipEmptyParts)) {
            term.replace('\x01', ' ');
            // Letters of any script: without Unicode properties \w is ASCII only.
            static const QRegularExpression kEdges("^[^\\w]+|[^\\w]+$",
                                                   QRegularExpression::UseUnicodePropertiesOption);
            term.remove(kEdges);
            const bool number = term.contains(QRegularExpression("\\d"));
            if (term.size() < 2)
                continue;
            (number ? screen_.numbers : screen_.words).push_back(term);
        }
    }

    QPainter &p_;
    TextScreen &screen_;
};

void drawTable(QPainter &p, Writer &w, const Palette &c, const QRect &area, int px, Numbers &n) {
    static const QStringList kHeads = {"Время", "Чек",   "ТРК",    "Топливо",
                                       "Литры", "Сумма", "Оплата", "Оператор"};
    static const int kWidths[] = {8, 6, 4, 15, 6, 10, 17, 18};  // in characters
    const int rowHeight = px + 9;
    p.fillRect(area, c.face);
    for (int row = 0; area.top() + (row + 1) * rowHeight <= area.bottom(); ++row) {
        const QRect line(area.left(), area.top() + row * rowHeight, area.width(), rowHeight);
        const bool selected = row == 3;
        p.fillRect(line, row == 0 ? c.header : selected ? c.selected : c.face);
        p.setPen(row == 0 ? c.headerText : selected ? c.selectedText : c.text);
        const int cents = n.next(100), litres = 5 + n.next(60);
        const QStringList cells = {
            QString("%1:%2:%3")
                .arg(8 + row / 4)
                .arg(n.next(60), 2, 10, QChar('0'))
                .arg(n.next(60), 2, 10, QChar('0')),
            QString::number(10300 + row * 3 + n.next(3)),
            QString::number(1 + n.next(8)),
            kFuels[n.next(kFuels.size())],
            QString("%1.%2").arg(litres).arg(n.next(100), 2, 10, QChar('0')),
            grouped(litres * 54 + n.next(900), cents, row % 2 ? kNbsp : QChar(' ')),
            kPayments[n.next(kPayments.size())],
            kNames[n.next(kNames.size())]};
        int x = area.left() + 6;
        for (int col = 0; col < cells.size(); ++col) {
            const QRect cell(x, line.top(), kWidths[col] * px * 62 / 100, rowHeight);
            w.text(cell, Qt::AlignVCenter | (col == 5 ? Qt::AlignRight : Qt::AlignLeft),
                   row == 0 ? kHeads[col] : cells[col]);
            x += cell.width() + px;
        }
        p.setPen(c.border);
        p.drawLine(line.bottomLeft(), line.bottomRight());
    }
}

void drawDialog(QPainter &p, Writer &w, const Palette &c, TextScreen &screen, const QFont &font,
                Numbers &n) {
    const QRect r = screen.dialog;
    const int px = font.pixelSize();
    p.fillRect(r, c.face);
    p.setPen(c.border);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    const int receipt = 10342 + n.next(9000);
    const QRect bar(r.left() + 3, r.top() + 3, r.width() - 6, px + 10);
    p.fillRect(bar, c.bar);
    QFont bold = font;
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(c.barText);
    w.text(bar.adjusted(6, 0, 0, 0), Qt::AlignVCenter, QString("Чек № %1 — оплата").arg(receipt));
    p.setFont(font);
    p.setPen(c.text);
    const int litres = 20 + n.next(40), cents = n.next(100);
    screen.receipt = QString::number(receipt);
    screen.amount = grouped(1000 + n.next(98000), cents, kNbsp);
    screen.name = kNames[n.next(6)];  // a Cyrillic one
    const QStringList lines = {
        QString("Номер чека: %1").arg(receipt),
        QString("Колонка: %1   Топливо: %2").arg(1 + n.next(8)).arg(kFuels[n.next(kFuels.size())]),
        QString("Количество: %1.%2 л").arg(litres).arg(n.next(100), 2, 10, QChar('0')),
        QString("Цена за литр: %1,%2 руб.")
            .arg(48 + n.next(20))
            .arg(n.next(100), 2, 10, QChar('0')),
        QString("Сумма: %1 руб.").arg(screen.amount),
        QString("Скидка по карте: %1 руб.")
            .arg(grouped(100 + n.next(1900), n.next(100), QChar(' '))),
        QString("Оплата: %1").arg(kPayments[n.next(kPayments.size())]),
        QString("Оператор: %1").arg(screen.name),
        QString("Покупатель: %1").arg(kNames[n.next(kNames.size())]),
        QString("Смена № %1 от %2.12.2026").arg(100 + n.next(900)).arg(10 + n.next(18))};
    int y = bar.bottom() + 12;
    for (const QString &line : lines) {
        w.text(QRect(r.left() + 14, y, r.width() - 28, px + 6), Qt::AlignVCenter, line);
        y += px + 8;
    }
    const QStringList buttons = {"Печать", "Возврат", "Закрыть"};
    int x = r.left() + 14;
    for (const QString &b : buttons) {
        const QRect button(x, r.bottom() - px - 22, px * 6, px + 12);
        p.setPen(c.border);
        p.fillRect(button, c.header);
        p.drawRect(button);
        p.setPen(c.headerText);
        w.text(button, Qt::AlignCenter, b);
        x += button.width() + 10;
    }
}

}  // namespace

std::vector<QString> textScreenFonts() {
    static const char *kFiles[] = {
        "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "/usr/share/wine/fonts/tahoma.ttf",
        "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"};
    static std::vector<QString> families = [] {
        std::vector<QString> found;
        for (const char *file : kFiles) {
            const int id = QFontDatabase::addApplicationFont(file);
            if (id >= 0 && !QFontDatabase::applicationFontFamilies(id).isEmpty())
                found.push_back(QFontDatabase::applicationFontFamilies(id).first());
        }
        return found;
    }();
    return families;
}

TextScreen textScreen(const QString &family, int pixelSize, bool dark, int variant, int width,
                      int height) {
    TextScreen screen;
    screen.image = QImage(width, height, QImage::Format_RGB32);
    const Palette c = paletteOf(dark);
    screen.image.fill(c.desktop);
    QPainter p(&screen.image);
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setHintingPreference(QFont::PreferFullHinting);
    p.setFont(font);
    Writer w(p, screen);
    Numbers n{static_cast<uint32_t>(variant * 7919 + pixelSize * 31 + (dark ? 1 : 0))};
    // The dialog stands beside the table, so that every term noted is on the screen.
    const int dialogWidth = pixelSize * 36,
              dialogHeight = 2 * pixelSize + 12 * (pixelSize + 8) + 40;
    screen.dialog = QRect(width - dialogWidth - 20, 60, dialogWidth, dialogHeight);
    drawTable(p, w, c, QRect(10, 10, screen.dialog.left() - 30, height - 20), pixelSize, n);
    drawDialog(p, w, c, screen, font, n);
    return screen;
}

QString normalisedText(const QString &text) {
    QString s = text.toLower();
    s.replace(QChar(0x0451), QChar(0x0435));  // ё
    static const QRegularExpression kBetweenDigits(
        "(?<=\\d)[\\s\\x{00A0}\\x{2007}\\x{2009}\\x{202F}]+(?=\\d)");
    s.remove(kBetweenDigits);
    return s;
}

bool containsTerm(const QString &haystack, const QString &term) {
    return haystack.contains(normalisedText(term));
}

}  // namespace zvtest
