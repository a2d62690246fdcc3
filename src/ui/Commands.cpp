#include "ui/Commands.h"

namespace velmo::ui {

QString CommandString(int command) {
    switch (command) {
        case kFileOpen:
            return QStringLiteral("\nDatei öffnen");
        case kFileSaveAs:
            return QStringLiteral("\nDatei speichern");
        case kProgram:
            return QStringLiteral("\nProgrammieren");
        case kRead:
            return QStringLiteral("\nAuslesen");
        case kAbort:
            return QStringLiteral("\nAbbrechen");
        default:
            return QString();
    }
}

QString TipFromString(const QString& text) {
    const qsizetype first = text.indexOf(QLatin1Char('\n'));
    if (first < 0) return QString();
    const qsizetype second = text.indexOf(QLatin1Char('\n'), first + 1);
    return second < 0 ? text.mid(first + 1) : text.mid(first + 1, second - first - 1);
}

}  // namespace velmo::ui
