#pragma once

namespace zv {

// Routes the module's messages (platform/Messages.h) to QMessageBox: no icon, an empty title, an
// OK button, no owner; MessageKind::TopMost boxes stay on top and are application-modal.
// Installed by the plug-in and the launchers, never by tests.
void installMessageBoxes();

}  // namespace zv
