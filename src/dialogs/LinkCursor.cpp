#include "dialogs/LinkCursor.h"

#include <QPixmap>

#include <array>
#include <vector>

namespace {

constexpr int kCell = 32;

// The outline; the inside is found by filling from the cell's border, so only the outline
// has to be drawn.
constexpr std::array<const char*, 21> kHandOutline{
    ".....##..........",  //
    "....#..#.........",  //
    "....#..#.........",  //
    "....#..#.........",  //
    "....#..#.........",  //
    "....#..###.......",  //
    "....#..#..###....",  //
    "....#..#..#..###.",  //
    "....#..#..#..#..#",  //
    ".##.#..#..#..#..#",  //
    "#..##...........#",  //
    "#...#...........#",  //
    ".#..............#",  //
    ".#..............#",  //
    "..#.............#",  //
    "..#............#.",  //
    "...#...........#.",  //
    "...#..........#..",  //
    "....#.........#..",  //
    "....#.........#..",  //
    "....###########..",  //
};

}  // namespace

QImage LinkCursorImage() {
    QImage image(kCell, kCell, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    std::vector<bool> outline(kCell * kCell, false);
    for (int y = 0; y < static_cast<int>(kHandOutline.size()); ++y) {
        for (int x = 0; kHandOutline[y][x] != '\0'; ++x) {
            outline[y * kCell + x] = kHandOutline[y][x] == '#';
        }
    }
    // Everything the border reaches without crossing the outline is outside the hand.
    std::vector<bool> outside(kCell * kCell, false);
    std::vector<int> pending;
    for (int i = 0; i < kCell; ++i) {
        for (int p : {i, (kCell - 1) * kCell + i, i * kCell, i * kCell + kCell - 1}) {
            pending.push_back(p);
        }
    }
    while (!pending.empty()) {
        const int p = pending.back();
        pending.pop_back();
        if (outside[p] || outline[p]) {
            continue;
        }
        outside[p] = true;
        const int x = p % kCell;
        const int y = p / kCell;
        if (x > 0) pending.push_back(p - 1);
        if (x + 1 < kCell) pending.push_back(p + 1);
        if (y > 0) pending.push_back(p - kCell);
        if (y + 1 < kCell) pending.push_back(p + kCell);
    }
    for (int p = 0; p < kCell * kCell; ++p) {
        if (outline[p]) {
            image.setPixel(p % kCell, p / kCell, qRgb(0, 0, 0));
        } else if (!outside[p]) {
            image.setPixel(p % kCell, p / kCell, qRgb(255, 255, 255));
        }
    }
    return image;
}

QCursor LinkCursor() {
    return QCursor(QPixmap::fromImage(LinkCursorImage()), 0, 0);
}
