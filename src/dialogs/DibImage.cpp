#include "dialogs/DibImage.h"

#include <QFile>
#include <QPainter>

#include <cmath>
#include <cstring>

CDibImage::CDibImage(int width, int height)
    : m_bitmap(velmo::DibBitmap::Placeholder(width, height)) {
    TakeBitmap(m_bitmap);
}

bool CDibImage::LoadBitmapFile(const QString& path) {
    auto bitmap = velmo::DibBitmap::FromFile(QFile::encodeName(path).toStdString());
    if (!bitmap) {
        return false;
    }
    TakeBitmap(std::move(*bitmap));
    return true;
}

void CDibImage::TakeBitmap(velmo::DibBitmap bitmap) {
    m_bitmap = std::move(bitmap);
    QImage picture(m_bitmap.Width(), m_bitmap.Height(), QImage::Format_RGB32);
    if (picture.isNull()) {
        // A picture of width or height 0 has no rows to fill and draws nothing.
        m_picture = QImage();
        return;
    }
    const auto pixels = m_bitmap.ToArgb32();
    const auto rowBytes = static_cast<std::size_t>(m_bitmap.Width()) * sizeof(std::uint32_t);
    for (int y = 0; y < m_bitmap.Height(); ++y) {
        std::memcpy(picture.scanLine(y),
                    pixels.data() + static_cast<std::size_t>(y) * m_bitmap.Width(), rowBytes);
    }
    m_picture = std::move(picture);
}

QList<QRgb> CDibImage::Palette() const {
    QList<QRgb> palette;
    for (const auto& c : m_bitmap.Palette()) {
        palette.push_back(qRgb(c.red, c.green, c.blue));
    }
    return palette;
}

void CDibImage::Draw(QPainter& painter, int x, int y, double scaleX, double scaleY) const {
    const double width = std::trunc(m_picture.width() * scaleX);
    const double height = std::trunc(m_picture.height() * scaleY);
    const double limit = velmo::DibBitmap::kMaxSide;
    // Also catches NaN factors: every comparison with NaN is false.
    if (!(std::abs(width) >= 1 && std::abs(width) <= limit && std::abs(height) >= 1 &&
          std::abs(height) <= limit)) {
        return;
    }
    const int w = static_cast<int>(std::abs(width));
    const int h = static_cast<int>(std::abs(height));
    if (static_cast<std::int64_t>(w) * h > velmo::DibBitmap::kMaxPixels) {
        return;
    }
    QImage scaled = m_picture;
    if (w != m_picture.width() || h != m_picture.height()) {
        // Nearest neighbour, as the colour-on-colour stretch mode does: no blended colours.
        scaled = m_picture.scaled(w, h, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    if (width < 0 || height < 0) {
        scaled = scaled.mirrored(width < 0, height < 0);
    }
    painter.drawImage(x, y, scaled);
}
