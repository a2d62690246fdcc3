#pragma once

#include <QDialog>

// Placeholder until the dialog lands.
class CAboutInfoDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutInfoDlg(QWidget* parent = nullptr);
};
