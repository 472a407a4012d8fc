#pragma once

#include <QIcon>

namespace zv {

// The 16 x 16 pictures of the viewer's small buttons, drawn by code so that no image files ship.
enum class ViewerIcon { First, Play, Play2x, Play3x, Pause, Stop, Last, Open, RePlay };

QIcon viewerIcon(ViewerIcon which);

}  // namespace zv
