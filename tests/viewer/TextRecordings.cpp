#include "viewer/TextRecordings.h"

#include <vector>

#include "container/ZVFAppender.h"
#include "support/PixelText.h"

namespace zvtest {

namespace {

TextPicture textScreen(int k) {
    TextPicture p(kTextFrameWidth, kTextFrameHeight);
    p.text(10, 5, "Касса 1");
    p.text(10, 150, "10:00:0" + std::to_string(k / 3 % 10));
    if (k >= kReceiptFirst && k <= kReceiptLast) {
        p.fill(kReceiptX - 5, kReceiptY - 5, 150, 80, 0xE0E0E0);
        p.text(kReceiptX, kReceiptY, "Чек № 10342");
        p.text(kReceiptX, kReceiptY + 25, "Сумма 2 486,00");
        p.text(kReceiptX, kReceiptY + 50, "Кассир Ёлкина Анна");
    }
    if (k >= 20)
        p.text(150, 5, "Строка " + std::to_string(k));
    return p;
}

}  // namespace

double textFrameTime(int k) {
    return 46'000.5 + k / 86'400.0;
}

void appendTextFrames(const std::string &file, int first, int count) {
    ZVFAppender out(file);
    for (int k = first; k < first + count; ++k) {
        const std::vector<uint8_t> gif = textScreen(k).gif();
        out.append(gif.data(), gif.size(), textFrameTime(k));
    }
}

}  // namespace zvtest
