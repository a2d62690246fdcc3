#include "ui/QtGerman.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace velmo::ui {

bool InstallGermanQtTexts() {
    static const bool installed = [] {
        // Owned by the application, so it stays as long as anything can ask for a text.
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (!translator->load(QStringLiteral("qtbase_de"),
                              QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            delete translator;
            return false;
        }
        return QCoreApplication::installTranslator(translator);
    }();
    return installed;
}

}  // namespace velmo::ui
