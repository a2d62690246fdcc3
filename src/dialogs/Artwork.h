#pragma once

#include <QIcon>
#include <QImage>

namespace velmo::dialogs {

// Our own drawings, made in code so they stay sharp and need no binary files.

inline constexpr int kToolbarImageWidth = 18;
inline constexpr int kToolbarImageHeight = 16;
inline constexpr int kToolbarImageCount = 5;

// Left to right: open folder with a curved arrow, floppy disk, chip with an arrow into it,
// chip with an arrow out of it, red disc with a white cross.
QImage ToolbarImage(int index);
// All five side by side, as one 90 x 16 strip.
QImage ToolbarStrip();

// A chip on a board with the programming arrow, at the usual icon sizes.
QIcon AppIcon();

}  // namespace velmo::dialogs
