#pragma once

#include <QDialog>

class CLinkLabel;
class QLabel;
class QPushButton;

// "Info über Velmo-Programmer": the application icon, name and version, who makes it, and a
// contact link that opens a new e-mail. A second link to the web page is set up the same
// way but stays hidden. Nothing outlives the dialog, so every opening starts with unvisited
// links. Where the program reaches the chip other than through a parallel port, a line below
// the OK button names the way (the backend and its device), so that a picture of the box tells
// it; the box grows by that line.
class CAboutInfoDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutInfoDlg(QWidget* parent = nullptr, const QString& connection = QString());
    ~CAboutInfoDlg() override;

    static const char* const kContactTarget;
    static const char* const kHomepageTarget;

    CLinkLabel* ContactLink() const { return m_contactLink; }
    CLinkLabel* HomepageLink() const { return m_homepageLink; }
    // The line naming the way to the chip; null without one.
    QLabel* ConnectionLabel() const { return m_connection; }

  private:
    CLinkLabel* m_homepageLink = nullptr;
    CLinkLabel* m_contactLink = nullptr;
    QLabel* m_connection = nullptr;
};
