#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "ops/Host.h"
#include "ops/Programmer.h"
#include "ui/ClockRateDlg.h"
#include "dialogs/DialogUnits.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QTimer;
class QToolBar;
class QWidget;

// The main window: menu bar, toolbar, progress bar, CRC field, lock-bit boxes, file label and
// status bar, laid out as the dialog was drawn. It owns the programmer core, shows what the
// core reports through Host, and turns every command into a call on the core.
class CProgrammerDlg : public QDialog, public velmo::Host {
    Q_OBJECT
  public:
    CProgrammerDlg(velmo::PortIo& port, velmo::Clock& clock, QWidget* parent = nullptr);
    ~CProgrammerDlg() override;

    velmo::Programmer& Core() { return m_core; }
    const velmo::Programmer& Core() const { return m_core; }

    // Start-up, before the window is shown: driver start, defaults or the batch timer.
    void OnInitDialog();

    // Nobody can see or click this window: status texts and progress go to standard error
    // as lines, and a batch run always ends the program when its work ends.
    void SetHeadless(bool headless) { m_headless = headless; }
    bool IsHeadless() const { return m_headless; }

    // --- commands ---
    void OnFileOpen();
    void OnFileSaveAs();
    void OnExit();
    void OnClose();
    void OnModeBoard();
    void OnModeRaw();
    void OnPortLpt1() { SelectPort(1); }
    void OnPortLpt2() { SelectPort(2); }
    void OnPortLpt3() { SelectPort(3); }
    void OnErase();
    void OnProgram();
    void OnRead();
    void OnVerify();
    void OnLockBits();
    void OnAbort();
    void OnClockRate();
    void OnInterface();
    void OnBatchHelp();
    void OnInfo();
    // Loads and programs the first file; refused while the driver does not run or an
    // operation is under way.
    void OnDropFiles(const QStringList& paths);
    // The batch run, one second after a batch start.
    void OnTimer();
    // Runs the command of a menu item or toolbar button.
    void RunCommand(int command);

    // --- seams for the start-up and for tests ---
    // Returns the chosen path, or an empty string when the user cancelled.
    using FileChooser = std::function<QString()>;
    void SetOpenFileChooser(FileChooser chooser) { m_chooseOpenFile = std::move(chooser); }
    void SetSaveFileChooser(FileChooser chooser) { m_chooseSaveFile = std::move(chooser); }
    // Ends the process at once (Exit, the close box, a second start's request).
    using ProcessExit = std::function<void(int status)>;
    void SetProcessExit(ProcessExit exit) { m_processExit = std::move(exit); }

    // --- what the window shows ---
    QAction* MenuAction(int command) const;
    QMenu* TopMenu(int position) const;
    QAction* ToolbarAction(int command) const;
    QToolBar* ToolBar() const { return m_toolBar; }
    QMenuBar* MenuBar() const { return m_menuBar; }
    // The one-part status bar along the bottom edge.
    QLabel* StatusBar() const { return m_statusBar; }
    QString StatusText() const;
    QLineEdit* CrcField() const { return m_crcField; }
    QLabel* FileLabel() const { return m_fileLabel; }
    QProgressBar* Progress() const { return m_progress; }
    QCheckBox* LockBitBox(int number) const;
    CClockRateDlg& ClockDialog() { return m_clockDlg; }
    const velmo::dialogs::DialogUnits& Units() const { return m_units; }
    // Where the dialog's own client area begins: below the menu bar and the toolbar strip.
    int ClientTop() const;
    int ToolBarStripHeight() const;
    bool BatchTimerActive() const;
    bool OperationRunning() const { return m_operationDepth > 0; }
    // Set once the quit has been posted; the status the program then ends with.
    bool QuitPosted() const { return m_quitCode.has_value(); }
    int ExitCode() const { return m_quitCode.value_or(0); }

    // --- velmo::Host ---
    void SetStatusText(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int position) override;
    void EnterBusyMenuState() override;
    void EnterReadMenuState() override;
    void RestoreIdleMenuState() override;
    void RestoreIdleMenuStateAfterRead() override;
    void PumpMessages() override;
    void ControlsToMembers() override;
    void MembersToControls() override;
    void SetFileTip(const std::string& path) override;
    void Repaint() override;
    void PostQuit(int exitCode) override;

    // Ends the modal run; while an operation runs, as soon as it has returned.
    void done(int result) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateMenu();
    void CreateControls();
    void CreateToolBar();
    void CreateStatusBar();
    void InitFileTip();
    void EnterDriverFailureState();
    void SelectPort(int index);

    void SetItemEnabled(int command, bool enabled);
    void SetButtonEnabled(int command, bool enabled);
    void SetTopMenusEnabled(bool enabled);
    void SetChecked(int command, bool checked);

    // Runs a piece of work as one operation: drops are refused and the end of the modal run
    // waits until it has returned.
    template <typename Work>
    void RunOperation(Work work);
    // The batch run's own end: quits where the window stays open only for a person.
    void EndBatchRun(int status);

    velmo::Programmer m_core;
    velmo::dialogs::DialogUnits m_units;
    CClockRateDlg m_clockDlg;
    bool m_headless = false;
    int m_operationDepth = 0;
    std::optional<int> m_pendingDone;
    std::optional<int> m_quitCode;
    QString m_fileTipPath;
    // The last status text: tells whether the batch run's Program got to its end.
    std::string m_lastStatus;

    FileChooser m_chooseOpenFile;
    FileChooser m_chooseSaveFile;
    ProcessExit m_processExit;

    QMenuBar* m_menuBar = nullptr;
    std::array<QMenu*, 6> m_topMenus{};
    std::map<int, QAction*> m_menuActions;
    std::map<int, QAction*> m_toolActions;
    QWidget* m_client = nullptr;
    QToolBar* m_toolBar = nullptr;
    QLabel* m_statusBar = nullptr;
    QProgressBar* m_progress = nullptr;
    QLineEdit* m_crcField = nullptr;
    std::array<QCheckBox*, 3> m_lockBits{};
    QLabel* m_fileLabel = nullptr;
    QTimer* m_batchTimer = nullptr;
    int m_toolBarHeight = 0;
};
