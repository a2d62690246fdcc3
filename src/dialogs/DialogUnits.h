#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace velmo::dialogs {

// The window layouts are given in dialog units: a quarter of the dialog font's average
// character width across, an eighth of its height down. The base units are measured the way
// the layouts were made: the width of the 52 Latin letters / 52, rounded, and the font's
// height without leading.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}

    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

    int X(int units) const { return MulDiv(units, m_baseX, 4); }
    int Y(int units) const { return MulDiv(units, m_baseY, 8); }
    // Each edge is converted on its own, so neighbouring controls share their pixel edges.
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }

    // a * b / c rounded half away from zero.
    static int MulDiv(int a, int b, int c);

  private:
    int m_baseX;
    int m_baseY;
};

// The font the layouts are measured for: 8-point MS Sans Serif, or the desktop's sans serif
// that stands in for it.
QFont DialogFont();

}  // namespace velmo::dialogs
