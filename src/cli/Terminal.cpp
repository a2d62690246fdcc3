#include "cli/Terminal.h"

#include <string>

#include "cli/Texts.h"

namespace velmo::cli {

void Terminal::StepBegins(Step step, std::size_t total) {
    m_progress.Begin(StepLabel(step), total);
}

void Terminal::StepEnds(Step step, const StepResult& result) {
    switch (result.outcome) {
        case StepOutcome::Ok:
            m_progress.Finish(
                step == Step::Compare ? std::to_string(result.written) + " geschrieben" : "");
            break;
        case StepOutcome::Stopped:
            m_progress.Stop("abgebrochen");
            break;
        default:
            m_progress.Stop("Fehler");
            break;
    }
}

}  // namespace velmo::cli
