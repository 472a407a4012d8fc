#include "widgets/TahomaFont.h"

#include <QStringList>

#include "widgets/WindowResources.h"

namespace zv {

QFont tahomaFont(int pixelSize, bool bold) {
    loadWindowFonts();
    QFont font(QStringLiteral("Tahoma"));
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace zv
