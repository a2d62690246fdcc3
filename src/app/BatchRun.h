#pragma once

#include <QObject>

#include "cmdline/CommandLine.h"

class CProgrammerDlg;
class QTimer;

// Puts what a command line set into the window and its core: batch mode, the programmer's
// mode, the port (menu item and address) and the clock rate.
void ApplyCommandLine(CProgrammerDlg& dialog, const velmo::CommandLineSettings& settings);

// The unattended batch run: one second after the window has come up, the file is loaded and
// programmed and the program ends itself with a status that tells a script what happened.
// Outcomes a person can act on (the board did not answer, nothing to do) keep the window
// open (without a display ops/BatchRunner runs the call instead). A run that is to program a
// file ends with status 1 whenever the program ends before that succeeded, by its own outcome
// or by Exit, the close box or a second start.
class BatchRun : public QObject {
    Q_OBJECT
  public:
    // Must not outlive the window.
    BatchRun(CProgrammerDlg& dialog, velmo::BatchJob job);

    // After the window's start: the one-second timer when the driver runs.
    void Start(bool driverRunning);
    bool TimerActive() const;
    // The run itself, when the timer fires.
    void OnTimer();

  private:
    CProgrammerDlg& m_dialog;
    velmo::BatchJob m_job;
    QTimer* m_timer = nullptr;
};
