// The library's main unit: the four exported functions. Everything else in the library is
// hidden (see ZORVideo.map).
#include "plugin/ZORVideo.h"

#include "plugin/ExportUnit.h"

extern "C" {

void load(QMenu *menu) {
    zv::plugin::atBoundary("load", [menu] { zv::plugin::load(menu); });
}

void loadEx(QMenu *menu, HostQueryFn query) {
    zv::plugin::atBoundary("loadEx", [menu, query] { zv::plugin::loadEx(menu, query); });
}

void ShowFile(const char *fileName) {
    zv::plugin::atBoundary("ShowFile", [fileName] { zv::plugin::showFile(fileName); });
}

void unload() {
    zv::plugin::atBoundary("unload", [] { zv::plugin::unload(); });
}

}  // extern "C"
