// Renders the program's icon, drawn in code by the dialogs layer, as PNG files for the
// desktop's icon theme:
//     make_app_icons OUTDIR SIZE...      writes OUTDIR/<N>x<N>/apps/velmo.png for each SIZE
// Needs no display; the build runs it on Qt's offscreen platform.

#include "dialogs/Artwork.h"

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QTextStream>

namespace {

// A size the icon carries is taken as drawn. Any other comes from the nearest larger drawing
// scaled down, or, above the largest, from the largest scaled up, so that each file has
// exactly the size its folder promises.
QImage IconImage(const QIcon& icon, int size) {
    QSize atLeast;  // the smallest drawing not smaller than wanted
    QSize largest;
    for (const QSize& available : icon.availableSizes()) {
        if (available.width() >= size && (atLeast.isEmpty() || available.width() < atLeast.width()))
            atLeast = available;
        if (largest.isEmpty() || available.width() > largest.width()) largest = available;
    }
    const QSize source = atLeast.isEmpty() ? largest : atLeast;
    const QImage image = icon.pixmap(source).toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.size() == QSize(size, size)) return image;
    return image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc < 3) {
        err << "usage: make_app_icons OUTDIR SIZE...\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QIcon icon = velmo::dialogs::AppIcon();
    for (int i = 2; i < argc; ++i) {
        bool number = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&number);
        if (!number || size < 1 || size > 1024) {
            err << "make_app_icons: not a size: " << argv[i] << "\n";
            return 2;
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString path = out.filePath(folder + QStringLiteral("/velmo.png"));
        if (!out.mkpath(folder) || !IconImage(icon, size).save(path, "PNG")) {
            err << "make_app_icons: cannot write " << path << "\n";
            return 1;
        }
    }
    return 0;
}
