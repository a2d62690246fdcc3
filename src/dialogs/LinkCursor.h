#pragma once

#include <QCursor>
#include <QImage>

// The pointing hand shown over the links of the About box: a 32 x 32 cell with a white hand
// in a black outline, index finger raised, in its top-left corner. Its hot spot is the cell's
// top-left corner (0, 0), not the finger tip.
QImage LinkCursorImage();
QCursor LinkCursor();
