#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ops/Host.h"

namespace velmo::testing {

// A window that keeps every call in order as one line of text, confirms message boxes at
// once, and can run an action from inside a chosen pass of the message pump, the way a
// click on Abort or the close box arrives while an operation runs.
//
// The lines: "status:<text>", "box:<text>", "range:<lower>-<upper>", "pos:<n>", "busy",
// "readBusy", "idle", "idleAfterRead", "pump", "controlsToMembers", "membersToControls",
// "tip:<path>", "repaint", "quit:<code>".
class RecordingHost : public Host {
  public:
    void SetStatusText(const std::string& text) override {
        Record("status:" + text);
        m_statusText = text;
    }
    void ShowMessage(const std::string& text) override { Record("box:" + text); }
    void SetProgressRange(int lower, int upper) override {
        Record("range:" + std::to_string(lower) + "-" + std::to_string(upper));
    }
    void SetProgressPos(int position) override {
        Record("pos:" + std::to_string(position));
        m_progressPositions.push_back(position);
    }
    void EnterBusyMenuState() override { Record("busy"); }
    void EnterReadMenuState() override { Record("readBusy"); }
    void RestoreIdleMenuState() override { Record("idle"); }
    void RestoreIdleMenuStateAfterRead() override { Record("idleAfterRead"); }
    void PumpMessages() override {
        Record("pump");
        ++m_pumps;
        const auto action = m_pumpActions.find(m_pumps);
        if (action != m_pumpActions.end()) {
            // Moved out first: the action may itself run an operation that pumps.
            auto run = std::move(action->second);
            m_pumpActions.erase(action);
            run();
        }
    }
    void ControlsToMembers() override {
        Record("controlsToMembers");
        if (onControlsToMembers) onControlsToMembers();
    }
    void MembersToControls() override {
        Record("membersToControls");
        if (onMembersToControls) onMembersToControls();
    }
    void SetFileTip(const std::string& path) override { Record("tip:" + path); }
    void Repaint() override { Record("repaint"); }
    void PostQuit(int exitCode) override { Record("quit:" + std::to_string(exitCode)); }

    // Runs action inside the n-th pump from now on (1 = the next one).
    void AtPump(int n, std::function<void()> action) {
        m_pumpActions[m_pumps + n] = std::move(action);
    }

    const std::vector<std::string>& Calls() const { return m_calls; }
    // The calls without the pumps and progress positions of the byte loops, which a test
    // looks at separately.
    std::vector<std::string> CallsWithoutLoop() const {
        std::vector<std::string> result;
        std::copy_if(
            m_calls.begin(), m_calls.end(), std::back_inserter(result),
            [](const std::string& call) { return call != "pump" && call.rfind("pos:", 0) != 0; });
        return result;
    }
    int Count(const std::string& call) const {
        return static_cast<int>(std::count(m_calls.begin(), m_calls.end(), call));
    }
    int Pumps() const { return m_pumps; }
    const std::vector<int>& ProgressPositions() const { return m_progressPositions; }
    const std::string& StatusText() const { return m_statusText; }

    void Clear() {
        m_calls.clear();
        m_progressPositions.clear();
    }

    // What the window's data exchange does with the check boxes and fields.
    std::function<void()> onControlsToMembers;
    std::function<void()> onMembersToControls;

  private:
    void Record(std::string call) { m_calls.push_back(std::move(call)); }

    std::vector<std::string> m_calls;
    std::vector<int> m_progressPositions;
    std::string m_statusText;
    int m_pumps = 0;
    std::map<int, std::function<void()>> m_pumpActions;
};

}  // namespace velmo::testing
