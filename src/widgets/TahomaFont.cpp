#include "widgets/TahomaFont.h"

#include <QStringList>

namespace zv {

QFont tahomaFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("Tahoma"));
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace zv
