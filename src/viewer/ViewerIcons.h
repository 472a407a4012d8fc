#pragma once

#include <QIcon>

namespace zv {

// The 16 x 16 pictures of the viewer's small buttons, drawn by code so that no image files ship.
enum class ViewerIcon {
    First,
    Play,
    Play2x,
    Play3x,
    Pause,
    Stop,
    Last,
    Open,
    RePlay,
    PrevChange,  // a bar of activity and an arrow to it from the right
    NextChange,  // an arrow to a bar of activity from the left
    SkipStill,   // a run of still frames jumped over
    FindText,    // a magnifying glass
};

QIcon viewerIcon(ViewerIcon which);

}  // namespace zv
