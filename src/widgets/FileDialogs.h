#pragma once

#include <QString>

class QFileDialog;

namespace zv {

// Runs a prepared file or folder dialog modally: the chosen full name, empty when cancelled.
// A completion list of the dialog's name field that is still open when the dialog closes (the
// name typed, then Return) is closed with it: it would otherwise take the next window's first key.
QString execFileDialog(QFileDialog &dialog);

// Makes dialog the plain folder chooser: folders only, no button for a new folder, no field to
// type a name into, no list of file types. Qt's own dialog on every desktop, so that it looks
// the same everywhere.
void makePlainFolderChooser(QFileDialog &dialog);

}  // namespace zv
