#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ScreenCapture.h"

namespace zv {

// The screen of a Wayland compositor through its screen-copy protocol
// (zwlr_screencopy_manager_v1: sway, cage, labwc, Wayfire, river). Every output is copied into
// shared memory, with the pointer drawn in when withPointer is set, and laid out in one picture
// as the compositor places them; outputs that come and go are followed. displayName is the
// compositor's socket ($WAYLAND_DISPLAY when empty). Throws zv::Error when the compositor cannot
// be reached or offers no screen copy; grab() throws when a copy fails or the connection breaks.
std::unique_ptr<ScreenSource> makeWaylandScreenCopySource(const std::string &displayName = {},
                                                          bool withPointer = true);

// The protocol's name, as the log and the errors give it.
inline constexpr const char *kScreenCopyProtocol = "zwlr_screencopy_manager_v1";

// How the pixels of a wl_shm format (0 and 1 for ARGB8888 and XRGB8888, a DRM fourcc code
// otherwise) are laid out; nullopt for formats that convertToXrgb cannot read.
std::optional<PixelLayout> pixelLayoutOfShmFormat(uint32_t format);

}  // namespace zv
