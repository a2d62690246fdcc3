#pragma once

#include <QDialog>

// "Aufruf aus Batch-Datei": how to start an unattended programming run from the command
// line. Fixed texts and an OK button.
class CBatchHelpDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CBatchHelpDlg(QWidget* parent = nullptr);
    ~CBatchHelpDlg() override;
};
