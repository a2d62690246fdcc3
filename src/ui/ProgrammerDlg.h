#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "dialogs/DialogUnits.h"
#include "dialogs/HelpWindow.h"
#include "ops/OperationObserver.h"
#include "ops/Programmer.h"
#include "port/PortIo.h"
#include "port/SideFile.h"
#include "ui/ClockRateDlg.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QToolBar;
class QWidget;

// The window's caption; a second start finds the running copy by it.
inline constexpr char kCaption[] = "Velmo-Programmer (AT89S53)";

// The main window: menu bar, toolbar, progress bar, CRC field, lock-bit boxes, file label and
// status bar, laid out as the dialog was drawn. It owns the programmer core, turns every
// command into a call on it and shows what the core reports.
//
// Its code is split by concern: ProgrammerDlgLayout.cpp builds the window,
// ProgrammerDlgStates.cpp switches the fixed menu and toolbar states,
// ProgrammerDlgCommands.cpp runs the commands and the file commands, and
// ProgrammerDlgReports.cpp words and shows what the operations report.
class CProgrammerDlg : public QDialog, private velmo::OperationObserver {
    Q_OBJECT
  public:
    // files: what the backend keeps beside its lines (the line trace, the simulated chip);
    // none when it keeps nothing.
    CProgrammerDlg(velmo::IspLink& link, velmo::Clock& clock, velmo::SideFiles* files = nullptr,
                   QWidget* parent = nullptr);
    ~CProgrammerDlg() override;

    velmo::Programmer& Core() { return m_core; }
    const velmo::Programmer& Core() const { return m_core; }

    // --- start-up ---
    // A batch start takes its settings from the command line and none of the interactive
    // defaults; a failed write then ends the program.
    void SetBatchActive(bool active) { m_batchActive = active; }
    bool BatchActive() const { return m_batchActive; }
    // Which port menu item stands for the port address, as the command line chose it.
    void SetPortIndex(int index) { m_portIndex = index; }
    // Before the window is shown: toolbar, status bar, driver start, and for an interactive
    // start the defaults. Returns whether the driver runs.
    bool OnInitDialog();

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
    velmo::ProgramOutcome OnProgram();
    void OnRead();
    void OnVerify();
    void OnLockBits();
    void OnAbort();
    void OnClockRate();
    void OnInterface();
    void OnBatchHelp();
    void OnInfo();
    // F1: shows the help window beside this one, the same one again if it is open; ignored
    // while an operation runs.
    void OnHelp();
    // Loads and programs the first file; refused while the driver does not run or an
    // operation is under way.
    void OnDropFiles(const QStringList& paths);
    // Runs the command of a menu item or toolbar button.
    void RunCommand(int command);

    // Clears the image, reads the file into it and shows name, path and CRC.
    void LoadFile(const std::string& path);
    // Checks the menu items of the mode and port set by the command line; unchecks nothing.
    void CheckCommandLineSettings();
    // Runs work as one operation: drops are refused and the end of the modal run waits until
    // it has returned.
    void RunOperation(const std::function<void()>& work);
    // Asks the port to write out its files (the line trace, the simulated chip's flash) and
    // shows a failure to do so, each one once: as a box, or (once the window has gone) as a
    // line on standard error. Returns the failure, empty when there is none.
    std::string ReportPortFiles(bool asLine = false);

    // --- seams for the start-up and for tests ---
    // Returns the chosen path, or an empty string when the user cancelled.
    using FileChooser = std::function<QString()>;
    void SetOpenFileChooser(FileChooser chooser) { m_chooseOpenFile = std::move(chooser); }
    void SetSaveFileChooser(FileChooser chooser) { m_chooseSaveFile = std::move(chooser); }
    // Ends the process at once (Exit, the close box, a second start's request).
    using ProcessExit = std::function<void(int status)>;
    void SetProcessExit(ProcessExit exit) { m_processExit = std::move(exit); }
    // Names the way to the chip where it is no parallel port (empty otherwise), asked each
    // time the status bar's tip or the About box shows it.
    using PortDescriber = std::function<std::string()>;
    void SetPortDescriber(PortDescriber describe) { m_describePort = std::move(describe); }
    std::string PortDescription() const;

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
    // The help window once F1 has made it, else null.
    CHelpWindow* HelpWindow() const { return m_helpWindow; }
    const velmo::dialogs::DialogUnits& Units() const { return m_units; }
    // Where the dialog's own client area begins: below the menu bar and the toolbar strip.
    int ClientTop() const;
    int ToolBarStripHeight() const;
    bool OperationRunning() const { return m_operationDepth > 0; }
    // The path last chosen in the Open dialog (a dropped or batch file does not count).
    const std::string& FilePath() const { return m_strFilePath; }
    // Lock-Bit 1, 2 or 3 as last taken from its box (by Program, Lock bits or Enter).
    int LockBitMember(int number) const;

    // --- reports ---
    void SetStatusText(const std::string& text);
    // The program's own box: text, one OK button; returns when it is confirmed.
    void ShowMessage(const std::string& text);
    // Ends the modal run once control is back in the event loop, with this exit status
    // (the first one asked for counts).
    void PostQuit(int exitCode);
    bool QuitPosted() const { return m_quitCode.has_value(); }
    // The status of an end that no quit decided (Exit, the close box, a second start, Enter
    // or Escape): 0, unless a batch run set another while its work is not done.
    void SetUnfinishedExitCode(int exitCode) { m_unfinishedExitCode = exitCode; }
    int ExitCode() const { return m_quitCode.value_or(m_unfinishedExitCode); }

    // Ends the modal run; while an operation runs, as soon as it has returned.
    void done(int result) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // --- layout ---
    void CreateMenu();
    void CreateControls();
    void CreateToolBar();
    void CreateStatusBar();
    void InitFileTip();

    // --- states ---
    void EnterBusyMenuState();
    void EnterReadMenuState();
    void RestoreIdleMenuState();
    void RestoreIdleMenuStateAfterRead();
    void EnterDriverFailureState();
    void SetItemEnabled(int command, bool enabled);
    void SetButtonEnabled(int command, bool enabled);
    void SetTopMenusEnabled(bool enabled);
    void SetChecked(int command, bool checked);
    void SelectPort(int index);

    // --- data exchange: the members the controls show ---
    void ControlsToMembers();
    void MembersToControls();
    void SetFileTip(const std::string& path);
    void Repaint();
    void SetProgressPos(int position);
    bool SaveReadImage(const std::string& path);
    // Runs one device command of the core as an operation, remembering which one runs.
    template <typename Work>
    auto RunDeviceCommand(int command, Work work);

    // --- velmo::OperationObserver ---
    void Status(velmo::ProgrammerStatus status) override;
    void Notice(velmo::ProgrammerNotice notice) override;
    void Phase(velmo::OperationPhase phase) override;
    void ProgressRange(std::size_t total) override;
    void ProgressAt(std::uint32_t address) override;
    void Pump() override;

    velmo::Programmer m_core;
    velmo::SideFiles* m_files;
    velmo::dialogs::DialogUnits m_units;
    CClockRateDlg m_clockDlg;
    bool m_batchActive = false;
    int m_portIndex = 1;
    int m_operationDepth = 0;
    int m_runningCommand = 0;  // the device command whose operation runs, 0 for none
    std::optional<int> m_pendingDone;
    std::optional<int> m_quitCode;
    std::string m_reportedFileError;
    int m_unfinishedExitCode = 0;

    // What the controls show, as the data exchange moves it.
    int m_lockBit1 = 0;
    int m_lockBit2 = 0;
    int m_lockBit3 = 0;
    std::string m_strFileName;
    std::string m_strCrc;
    std::string m_strFilePath;  // the path last chosen in the Open dialog
    QString m_fileTipPath;

    FileChooser m_chooseOpenFile;
    FileChooser m_chooseSaveFile;
    ProcessExit m_processExit;
    PortDescriber m_describePort;
    QPointer<CHelpWindow> m_helpWindow;

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
    int m_toolBarHeight = 0;
};
