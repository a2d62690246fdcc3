// Opens each of the three small dialogs, grabs its client area and saves it:
//     velmo-dialog-shots OUTDIR      writes OUTDIR/about.png, interface.png, batchhelp.png
// Runs on whatever Qt platform is set (the screenshot script uses Xvfb or offscreen).

#include "dialogs/AboutInfoDlg.h"
#include "dialogs/Artwork.h"
#include "dialogs/BatchHelpDlg.h"
#include "dialogs/InterfaceDlg.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QTextStream>

#include <memory>

namespace {

bool Shoot(QDialog& dialog, const QString& path) {
    dialog.show();
    QApplication::processEvents();
    const bool saved = dialog.grab().save(path, "PNG");
    dialog.close();
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(velmo::dialogs::AppIcon());
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: velmo-dialog-shots OUTDIR\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        err << "velmo-dialog-shots: cannot create " << out.path() << "\n";
        return 1;
    }
    CAboutInfoDlg about;
    CInterfaceDlg cable;
    CBatchHelpDlg batchHelp;
    const struct {
        QDialog* dialog;
        const char* file;
    } shots[] = {{&about, "about.png"}, {&cable, "interface.png"}, {&batchHelp, "batchhelp.png"}};
    for (const auto& shot : shots) {
        const QString path = out.filePath(QString::fromLatin1(shot.file));
        if (!Shoot(*shot.dialog, path)) {
            err << "velmo-dialog-shots: cannot write " << path << "\n";
            return 1;
        }
    }
    return 0;
}
