#pragma once

#include <csignal>

#include "cli/Progress.h"
#include "ops/ChipSession.h"
#include "ops/OperationObserver.h"

namespace velmo::cli {

// The steps' progress on standard error, and the signal flag as the steps' stop request.
class Terminal : public OperationObserver {
  public:
    Terminal(Progress& progress, const volatile std::sig_atomic_t* stop)
        : m_progress(progress), m_stop(stop) {}

    void StepBegins(Step step, std::size_t total) override;
    void ByteDone(std::uint32_t, std::size_t done) override { m_progress.Update(done); }
    void StepEnds(Step step, const StepResult& result) override;
    bool StopRequested() override { return m_stop && *m_stop != 0; }

  private:
    Progress& m_progress;
    const volatile std::sig_atomic_t* m_stop;
};

// The lines are released and the driver stopped however a command ends.
class OpenSession {
  public:
    explicit OpenSession(ChipSession& session) : m_session(session) {}
    ~OpenSession() { m_session.Close(); }
    OpenSession(const OpenSession&) = delete;
    OpenSession& operator=(const OpenSession&) = delete;

  private:
    ChipSession& m_session;
};

}  // namespace velmo::cli
