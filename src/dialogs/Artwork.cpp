#include "dialogs/Artwork.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

namespace velmo::dialogs {
namespace {

// The classic 16-colour palette keeps the buttons in one family.
const QColor kBlack(0, 0, 0);
const QColor kDarkGray(128, 128, 128);
const QColor kLightGray(192, 192, 192);
const QColor kWhite(255, 255, 255);
const QColor kDarkYellow(128, 128, 0);
const QColor kYellow(255, 255, 0);
const QColor kDarkBlue(0, 0, 128);
const QColor kRed(255, 0, 0);
const QColor kDarkRed(128, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kDarkGreen(0, 80, 30);

QImage Blank() {
    QImage image(kToolbarImageWidth, kToolbarImageHeight, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

void Pixel(QImage& image, int x, int y, const QColor& color) {
    if (image.rect().contains(x, y)) image.setPixelColor(x, y, color);
}

void FillRect(QImage& image, int x0, int y0, int x1, int y1, const QColor& color) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) Pixel(image, x, y, color);
}

void Frame(QImage& image, int x0, int y0, int x1, int y1, const QColor& color) {
    for (int x = x0; x <= x1; ++x) {
        Pixel(image, x, y0, color);
        Pixel(image, x, y1, color);
    }
    for (int y = y0; y <= y1; ++y) {
        Pixel(image, x0, y, color);
        Pixel(image, x1, y, color);
    }
}

QImage OpenFolder() {
    QImage image = Blank();
    // Back of the folder with its tab.
    FillRect(image, 1, 4, 5, 4, kDarkYellow);
    FillRect(image, 0, 5, 11, 14, kDarkYellow);
    Frame(image, 0, 5, 11, 14, kBlack);
    FillRect(image, 1, 3, 4, 3, kBlack);
    Pixel(image, 0, 4, kBlack);
    Pixel(image, 5, 4, kBlack);
    // The front flap, tilted open towards the viewer.
    for (int row = 0; row < 6; ++row) {
        const int y = 9 + row;
        const int left = 4 - row * 3 / 5 + 0;
        const int right = 15 - row * 3 / 5 - 1;
        FillRect(image, left, y, right, y, kYellow);
        Pixel(image, left - 1, y, kBlack);
        Pixel(image, right + 1, y, kBlack);
    }
    for (int x = 3; x <= 15; ++x) Pixel(image, x, 8, kBlack);
    for (int x = 0; x <= 12; ++x) Pixel(image, x, 14, kBlack);
    // A curved arrow, two pixels thick, that swings over the folder and points into it.
    FillRect(image, 9, 0, 12, 0, kBlack);
    FillRect(image, 8, 1, 9, 1, kBlack);
    FillRect(image, 12, 1, 13, 1, kBlack);
    FillRect(image, 7, 2, 8, 2, kBlack);
    FillRect(image, 13, 2, 14, 2, kBlack);
    FillRect(image, 14, 3, 15, 3, kBlack);
    FillRect(image, 12, 4, 17, 4, kBlack);
    FillRect(image, 13, 5, 16, 5, kBlack);
    FillRect(image, 14, 6, 15, 6, kBlack);
    return image;
}

QImage FloppyDisk() {
    QImage image = Blank();
    FillRect(image, 1, 0, 16, 15, kDarkBlue);
    Frame(image, 1, 0, 16, 15, kBlack);
    Pixel(image, 16, 0, Qt::transparent);
    Pixel(image, 15, 0, kBlack);
    Pixel(image, 16, 1, kBlack);
    // Metal shutter with its window.
    FillRect(image, 4, 1, 13, 6, kLightGray);
    FillRect(image, 10, 2, 11, 5, kDarkBlue);
    for (int x = 4; x <= 13; ++x) Pixel(image, x, 6, kDarkGray);
    // Paper label with two written lines.
    FillRect(image, 3, 9, 14, 15, kWhite);
    Frame(image, 3, 9, 14, 15, kBlack);
    FillRect(image, 5, 11, 12, 11, kDarkGray);
    FillRect(image, 5, 13, 10, 13, kDarkGray);
    return image;
}

// A 14-pin chip lying across the lower half, pins above and below.
void Chip(QImage& image) {
    FillRect(image, 2, 9, 15, 13, kDarkGray);
    FillRect(image, 3, 10, 14, 12, kBlack);
    Pixel(image, 3, 11, kDarkGray);  // pin-1 notch
    for (int x = 3; x <= 14; x += 2) {
        Pixel(image, x, 8, kLightGray);
        Pixel(image, x, 14, kLightGray);
        Pixel(image, x, 15, kLightGray);
    }
}

void ArrowDown(QImage& image, const QColor& fill) {
    // Shaft at columns 8..9, rows 0..3; head rows 4..7.
    FillRect(image, 8, 0, 9, 3, fill);
    for (int row = 0; row < 4; ++row) FillRect(image, 5 + row, 4 + row, 12 - row, 4 + row, fill);
    for (int y = 0; y <= 3; ++y) {
        Pixel(image, 7, y, kBlack);
        Pixel(image, 10, y, kBlack);
    }
}

void ArrowUp(QImage& image, const QColor& fill) {
    for (int row = 0; row < 4; ++row) FillRect(image, 8 - row, row, 9 + row, row, fill);
    FillRect(image, 8, 4, 9, 7, fill);
    for (int y = 4; y <= 7; ++y) {
        Pixel(image, 7, y, kBlack);
        Pixel(image, 10, y, kBlack);
    }
    FillRect(image, 4, 4, 6, 4, kBlack);
    FillRect(image, 11, 4, 13, 4, kBlack);
}

QImage ChipIn() {
    QImage image = Blank();
    Chip(image);
    ArrowDown(image, kRed);
    return image;
}

QImage ChipOut() {
    QImage image = Blank();
    Chip(image);
    ArrowUp(image, kGreen);
    return image;
}

QImage AbortDisc() {
    QImage image = Blank();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(kDarkRed);
    painter.setBrush(kRed);
    painter.drawEllipse(QRect(2, 0, 14, 15));
    painter.end();
    // A two-pixel white cross, drawn by hand so it stays symmetric.
    for (int i = 0; i <= 6; ++i) {
        Pixel(image, 5 + i, 4 + i, kWhite);
        Pixel(image, 6 + i, 4 + i, kWhite);
        Pixel(image, 12 - i, 4 + i, kWhite);
        Pixel(image, 11 - i, 4 + i, kWhite);
    }
    return image;
}

QPixmap IconAt(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.scale(size / 64.0, size / 64.0);
    // Circuit board.
    painter.setPen(QPen(kDarkGreen, 2));
    painter.setBrush(QColor(0, 150, 70));
    painter.drawRoundedRect(QRectF(2, 22, 60, 40), 6, 6);
    // The chip with its pins.
    painter.setPen(Qt::NoPen);
    painter.setBrush(kLightGray);
    for (int i = 0; i < 6; ++i) {
        painter.drawRect(QRectF(11 + i * 8, 27, 4, 6));
        painter.drawRect(QRectF(11 + i * 8, 51, 4, 6));
    }
    painter.setBrush(QColor(30, 30, 30));
    painter.drawRoundedRect(QRectF(8, 32, 48, 20), 2, 2);
    painter.setBrush(kDarkGray);
    painter.drawEllipse(QPointF(14, 42), 2.5, 2.5);
    // The programming arrow, into the chip.
    QPainterPath arrow;
    arrow.moveTo(26, 2);
    arrow.lineTo(38, 2);
    arrow.lineTo(38, 16);
    arrow.lineTo(47, 16);
    arrow.lineTo(32, 32);
    arrow.lineTo(17, 16);
    arrow.lineTo(26, 16);
    arrow.closeSubpath();
    painter.setPen(QPen(kDarkRed, 2));
    painter.setBrush(kRed);
    painter.drawPath(arrow);
    return pixmap;
}

}  // namespace

QImage ToolbarImage(int index) {
    switch (index) {
        case 0:
            return OpenFolder();
        case 1:
            return FloppyDisk();
        case 2:
            return ChipIn();
        case 3:
            return ChipOut();
        case 4:
            return AbortDisc();
        default:
            return Blank();
    }
}

QImage ToolbarStrip() {
    QImage strip(kToolbarImageWidth * kToolbarImageCount, kToolbarImageHeight,
                 QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    for (int i = 0; i < kToolbarImageCount; ++i)
        painter.drawImage(i * kToolbarImageWidth, 0, ToolbarImage(i));
    return strip;
}

QIcon AppIcon() {
    QIcon icon;
    // Drawn at every size a desktop asks for, so none of them is a blurred scaling.
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) icon.addPixmap(IconAt(size));
    return icon;
}

}  // namespace velmo::dialogs
