#pragma once

#include <QDialog>

// Placeholder until the dialog lands.
class CBatchHelpDlg : public QDialog {
    Q_OBJECT
public:
    explicit CBatchHelpDlg(QWidget* parent = nullptr);
};
