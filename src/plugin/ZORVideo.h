#pragma once

// The outside surface of libZORVideo.so: four functions with C linkage, called by the host on
// its UI thread while its QApplication exists. Host and module share one Qt.
//
// None of them lets an exception out: an error the module cannot handle is shown to the operator
// in a message box and the call returns normally. Called without a QApplication, or from another
// thread, they do nothing but say so on stderr.

#include <cstdint>

#include "recording/HostQuery.h"

class QMenu;

#define ZORVIDEO_EXPORT __attribute__((visibility("default")))

extern "C" {

// Prepares the hidden settings window, reads cnf.INI into it and makes sure the folder of the
// recording file exists (only its last level; failures are passed over). With a menu, inserts
// the entry "Видео запись" as the menu's first action; choosing it shows the settings window
// modally. The menu stays the host's; it may be destroyed before unload.
ZORVIDEO_EXPORT void load(QMenu *menu);

// load(menu), then hands query (may be null) to the settings window, which asks it each time it
// is shown whether to offer the recorder's service buttons.
ZORVIDEO_EXPORT void loadEx(QMenu *menu, HostQueryFn query);

// Shows the recording fileName (UTF-8, as the operator sees it; null means empty) in a viewer
// window and returns when the operator has closed it. Returns at once, showing nothing, for an
// empty name or one that names no existing file. Needs no load.
ZORVIDEO_EXPORT void ShowFile(const char *fileName);

// Destroys the settings window and the menu entry. Harmless without a load and when repeated.
ZORVIDEO_EXPORT void unload();

}  // extern "C"
