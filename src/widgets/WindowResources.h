#pragma once

namespace zv {

// What the windows were laid out with, made available to this process once:
// - Tahoma from Debian's fonts-wine, where the system has no Tahoma of its own; every window's
//   captions were measured in it (its bold is the regular face thickened);
// - Qt's Russian translation of its standard dialogs and buttons (qtbase_ru.qm of
//   qt6-translations-l10n), installed on the application: the file dialogs speak as the windows.
// Call on the GUI thread once the QApplication exists: the plug-in does at its first entry, the
// launchers at start. Repeated calls do nothing. A missing file is passed over: the windows then
// fall back to the nearest face, the dialogs to English.
void prepareWindows();

// Only the fonts of prepareWindows. Every window that asks for Tahoma calls it (tahomaFont).
void loadWindowFonts();

}  // namespace zv
