#pragma once

#include "bitmap/DibBitmap.h"

#include <QImage>
#include <QList>
#include <QRgb>
#include <QString>

class QPainter;

// One picture for a window: a Windows bitmap file read by velmo::DibBitmap, or until one has
// been read, an 8-bit grey gradient of the size given at construction. The picture is turned
// into a QImage once per load, so painting never reads the file again.
class CDibImage {
  public:
    CDibImage(int width, int height);

    // Reads the file and makes it the picture; false (and the picture unchanged) when the
    // file cannot be read or is no bitmap the reader accepts.
    bool LoadBitmapFile(const QString& path);

    // Draws the picture with its top-left corner at (x, y), its width multiplied by scaleX
    // and its height by scaleY, each truncated toward zero. A negative factor mirrors the
    // picture in that direction into the same rectangle. Nothing is drawn when a size comes
    // out as 0, or beyond what a bitmap may measure (see velmo::DibBitmap).
    void Draw(QPainter& painter, int x, int y, double scaleX, double scaleY) const;

    int Width() const { return m_bitmap.Width(); }
    int Height() const { return m_bitmap.Height(); }
    // The colour table of the picture (256 greys for the placeholder, none for 24-bit files).
    QList<QRgb> Palette() const;
    const QImage& Image() const { return m_picture; }

  private:
    void TakeBitmap(velmo::DibBitmap bitmap);

    velmo::DibBitmap m_bitmap;
    QImage m_picture;
};
