#include "dialogs/DialogFrame.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace velmo::dialogs {

DialogUnits SetUpFixedDialog(QDialog& dialog, const QString& caption, int width, int height) {
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog.setWindowTitle(caption);
    dialog.setModal(true);
    dialog.setFont(DialogFont());
    const DialogUnits units(dialog.font());
    dialog.setFixedSize(units.Size(width, height));
    return units;
}

QLabel* AddStaticText(QDialog& dialog, const DialogUnits& units, const QString& text, int x, int y,
                      int width, int height) {
    auto* label = new QLabel(text, &dialog);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    // Fonts wider than the one the layout was drawn with may need one more line than the
    // layout gives; the label then grows downwards instead of cutting its last line.
    QRect place = units.Rect(x, y, width, height);
    place.setHeight(qMax(place.height(), label->heightForWidth(place.width())));
    label->setGeometry(place);
    return label;
}

QPushButton* AddOkButton(QDialog& dialog, const DialogUnits& units, int x, int y, int width,
                         int height) {
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setGeometry(units.Rect(x, y, width, height));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    return ok;
}

}  // namespace velmo::dialogs
