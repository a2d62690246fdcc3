#pragma once

#include <QFont>
#include <QRect>

namespace velmo::ui {

// The window layouts are given in dialog units: a quarter of the dialog font's average
// character width across, an eighth of its height down. The base units are measured the way
// the layouts were made: average width of the 52 Latin letters, rounded, and the font's
// height without leading.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}

    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

    int X(int du) const { return MulDiv(du, m_baseX, 4); }
    int Y(int du) const { return MulDiv(du, m_baseY, 8); }
    // Each edge is converted on its own, so neighbouring controls share their pixel edges.
    QRect Rect(int x, int y, int width, int height) const;

    // a * b / c rounded half away from zero.
    static int MulDiv(int a, int b, int c);

  private:
    int m_baseX;
    int m_baseY;
};

// The dialogs' font: an 8-point sans serif that stands in for the one they were drawn with.
QFont DialogFont();

}  // namespace velmo::ui
