#include "app/BatchRun.h"

#include <QTimer>

#include "ops/Wording.h"
#include "sys/FileSearch.h"
#include "ui/ProgrammerDlg.h"

namespace {
constexpr int kBatchDelayMs = 1000;
}  // namespace

void ApplyCommandLine(CProgrammerDlg& dialog, const velmo::CommandLineSettings& settings) {
    dialog.SetBatchActive(settings.batch.active);
    dialog.Core().SelectMode(settings.mode);
    dialog.SetPortIndex(settings.portIndex);
    dialog.Core().SetPortAddress(settings.portAddress);
    dialog.Core().SetClockRate(settings.clockRate);
}

BatchRun::BatchRun(CProgrammerDlg& dialog, velmo::BatchJob job)
    : m_dialog(dialog), m_job(std::move(job)), m_timer(new QTimer(this)) {
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &BatchRun::OnTimer);
}

void BatchRun::Start(bool driverRunning) {
    // Until the file is programmed, a script that started us must not read the end as
    // success, however the program is made to end.
    if (m_job.action == "1" && !m_job.filePath.empty()) m_dialog.SetUnfinishedExitCode(1);
    // Without a driver the run never starts; the window stays for the person who sees it.
    if (driverRunning) m_timer->start(kBatchDelayMs);
}

bool BatchRun::TimerActive() const {
    return m_timer->isActive();
}

void BatchRun::OnTimer() {
    m_timer->stop();
    m_dialog.RunOperation([this] {
        // The interactive start would have set these.
        m_dialog.CheckCommandLineSettings();
        if (m_job.filePath.empty()) return;
        if (!velmo::sys::PathFound(m_job.filePath)) {
            m_dialog.ShowMessage(velmo::kFileNotFound);
            m_dialog.PostQuit(1);
            return;
        }
        m_dialog.LoadFile(m_job.filePath);
        if (m_job.action != "1") return;
        const bool programmed = m_dialog.OnProgram() == velmo::ProgramOutcome::Programmed;
        if (programmed) m_dialog.SetUnfinishedExitCode(0);
        const int status = programmed ? 0 : 1;
        // A failure a person can act on keeps the window open; the error flag says there was
        // one, also when a second start of the board then succeeded.
        if (m_dialog.Core().m_errorFlag == 0) m_dialog.PostQuit(status);
    });
}
