#pragma once

#include <QDialog>

// Placeholder until the dialog lands.
class CInterfaceDlg : public QDialog {
    Q_OBJECT
public:
    explicit CInterfaceDlg(QWidget* parent = nullptr);
};
