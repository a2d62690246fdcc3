#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace velmo::dialogs {

// Converts the dialog units of a dialog layout into pixels for the dialog's font, the way the
// Windows dialog manager does: one horizontal unit is a quarter of the font's average
// character width (the width of the 52 Latin letters / 52, rounded), one vertical unit an
// eighth of its height. Each conversion rounds to the nearest pixel, halves away from zero.
// The font the dialog layouts are measured for: 8-point MS Sans Serif, or the sans serif that
// stands in for it.
QFont DialogFont();

class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);

    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

  private:
    int m_baseX;
    int m_baseY;
};

}  // namespace velmo::dialogs
