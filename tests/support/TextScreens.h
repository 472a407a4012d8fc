#pragma once

#include <QImage>
#include <QString>
#include <string>
#include <vector>

namespace zvtest {

// What a fuel station operator's screen holds, drawn with Qt Gui with known text, for measuring
// and testing the reading of screen text. Deterministic for the same arguments.
struct TextScreen {
    QImage image;  // Format_RGB32
    // The texts a reviewer would search for, as drawn: words (letters) and numbers (receipt
    // numbers, amounts with group separators, litres, times, pumps).
    std::vector<QString> words;
    std::vector<QString> numbers;
    QRect dialog;  // where the dialog stands (beside it a table of receipts)
    // The dialog's receipt number, amount (groups apart by a no-break space) and operator.
    QString receipt, amount, name;
};

// The fonts of the measurement: "DejaVu Sans", "Tahoma" and "Liberation Sans", loaded from their
// Debian files (fonts-dejavu-core, fonts-wine, fonts-liberation). Empty when a file is missing.
std::vector<QString> textScreenFonts();

// A screen of width x height: a table of fuelling receipts and, over it, a receipt dialog, in
// family at pixelSize px; dark: light text on dark backgrounds, else black on light. variant
// changes the numbers and names.
TextScreen textScreen(const QString &family, int pixelSize, bool dark, int variant,
                      int width = 1920, int height = 1080);

// The rule of search: lower case, ё as е, blanks (also no-break and thin spaces) between digits
// removed.
QString normalisedText(const QString &text);

// Whether term occurs in the normalised text (term normalised too). Blanks between digits go, so
// that "2 486,00" matches "2486,00"; numbers of neighbouring columns run together as well
// ("10305 3" is "103053"): a term is found anywhere in the text, as search finds it.
bool containsTerm(const QString &normalisedHaystack, const QString &term);

}  // namespace zvtest
