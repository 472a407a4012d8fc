#pragma once

#include <functional>

#include "recording/HostQuery.h"

class QMenu;

// The module's state (the settings window, its menu entry, the host query and the recording
// settings) and the work behind the four exported functions. Everything here runs on the UI
// thread with a QApplication; the functions may throw, and the exported wrappers catch.
namespace zv::plugin {

void load(QMenu *menu);
void loadEx(QMenu *menu, HostQueryFn query);
void showFile(const char *fileName);
void unload();

// Runs body where no exception may pass (the C boundary, a Qt slot): anything thrown is shown
// to the operator in a message box instead. Refuses to run body, saying so on stderr, without a
// QApplication or off its thread, where no window could be made.
void atBoundary(const char *what, const std::function<void()> &body) noexcept;

}  // namespace zv::plugin
