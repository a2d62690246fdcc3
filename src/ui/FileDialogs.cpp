#include "ui/FileDialogs.h"

#include <QComboBox>
#include <QFileDialog>
#include <QSettings>
#include <mutex>

namespace velmo::ui {

namespace {

const char* const kAllFiles = "All Files (*.*)";

// The filter list of Qt's own dialog is the combo box of this name.
const char* const kFilterComboName = "fileTypeCombo";

QFileDialog::Options DialogOptions() {
    return QFileDialog::DontUseNativeDialog;
}

}  // namespace

void KeepNoFileDialogSettings() {
    // Qt's file dialog reads and writes its history, last folder and view mode through
    // QSettings (QtProject.conf in the user's config folder) and offers no way to turn that
    // off. A settings folder below /dev/null cannot exist: reading finds nothing and every
    // write fails quietly, for the user's files and the system-wide ones alike.
    static std::once_flag once;
    std::call_once(once, [] {
        const QString nowhere = QStringLiteral("/dev/null");
        for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            for (QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
                QSettings::setPath(format, scope, nowhere);
        }
    });
}

QString ChooseOpenFile(QWidget* parent) {
    KeepNoFileDialogSettings();
    QFileDialog dialog(parent, QStringLiteral("Öffnen der Applikationsdatei"));
    dialog.setOptions(DialogOptions());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Qt reads the pattern from the text, and "*.*" would leave out names without a dot;
    // the last filter matches "*" and only its label shows the familiar text.
    dialog.setNameFilters({QStringLiteral("Intel-Hex-File (*.ihx)"),
                           QStringLiteral("Intel-Hex-File (*.hex)"),
                           QStringLiteral("Bin-File (*.bin)"), QStringLiteral("All Files (*)")});
    if (auto* filters = dialog.findChild<QComboBox*>(QString::fromLatin1(kFilterComboName))) {
        filters->setItemText(filters->count() - 1, QString::fromLatin1(kAllFiles));
    }
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QString ChooseSaveFile(QWidget* parent) {
    KeepNoFileDialogSettings();
    QFileDialog dialog(parent, QStringLiteral("Speichern der Binärdatei"));
    dialog.setOptions(DialogOptions());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("Bin-File (*.bin)"));
    dialog.setDefaultSuffix(QStringLiteral("bin"));
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

}  // namespace velmo::ui
