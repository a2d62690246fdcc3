#pragma once

#include <QDialog>

class CLinkLabel;
class QPushButton;

// "Info über Velmo-Programmer": the application icon, name and version, who makes it, and a
// contact link that opens a new e-mail. A second link to the web page is set up the same
// way but stays hidden. Nothing outlives the dialog, so every opening starts with unvisited
// links.
class CAboutInfoDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutInfoDlg(QWidget* parent = nullptr);
    ~CAboutInfoDlg() override;

    static const char* const kContactTarget;
    static const char* const kHomepageTarget;

    CLinkLabel* ContactLink() const { return m_contactLink; }
    CLinkLabel* HomepageLink() const { return m_homepageLink; }

  private:
    CLinkLabel* m_homepageLink = nullptr;
    CLinkLabel* m_contactLink = nullptr;
};
