#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ScreenCapture.h"

namespace zv {

// The screen through the desktop portal's ScreenCast (org.freedesktop.portal.ScreenCast on the
// session bus: GNOME, KDE and others), frames from PipeWire. One session for the source's life:
// every monitor, the pointer drawn in (unless withPointer is false), kept across restarts
// (persist_mode 2) by the restore token stored in tokenFile (mode 0600; the desktop asks the
// operator once). The session is asked for at once; while the desktop's dialog is open grab()
// throws CaptureNotReady, and zv::Error once the desktop refused or the session ended. grab()
// gives the latest picture of each stream, laid out by the streams' positions. Throws zv::Error
// when there is no session bus or no portal.
std::unique_ptr<ScreenSource> makePortalScreenSource(const std::string &tokenFile,
                                                     bool withPointer = true);

// Where the restore token is kept: $XDG_STATE_HOME/zorvideo/screencast-token, with
// ~/.local/state for an empty XDG_STATE_HOME.
std::string portalTokenFile();

// How the pixels of a PipeWire raw video format (spa_video_format) are laid out; nullopt for
// formats that convertToXrgb cannot read (YUV and the like).
std::optional<PixelLayout> pixelLayoutOfVideoFormat(uint32_t format);

}  // namespace zv
