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

void makePlainFolderChooser(QFileDialog &dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::ReadOnly, true);
    // The parts of Qt's dialog by their object names; the name field keeps working hidden, as
    // the choice in the list fills it.
    for (const char *name : {"newFolderButton", "fileNameLabel", "fileNameEdit", "fileTypeLabel",
                             "fileTypeCombo"}) {
        if (QWidget *part = dialog.findChild<QWidget *>(QString::fromLatin1(name)))
            part->hide();
    }
}

}  // namespace zv
