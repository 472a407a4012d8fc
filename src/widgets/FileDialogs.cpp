#include "widgets/FileDialogs.h"

#include <QApplication>
#include <QFileDialog>

namespace zv {

QString execFileDialog(QFileDialog &dialog) {
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // Popups open now are the dialog's (a popup closes when its window goes inactive, so the
    // window below had none); left open, they would take the next window's first key.
    for (int i = 0; i < 8; ++i) {
        QWidget *popup = QApplication::activePopupWidget();
        if (!popup)
            break;
        popup->close();
    }
    return accepted ? dialog.selectedFiles().value(0) : QString();
}

}  // namespace zv
