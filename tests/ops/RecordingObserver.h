#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ops/OperationObserver.h"

namespace velmo::testing {

// A front end that keeps every report in order as one line of text, confirms every notice at
// once, and can run an action from inside a chosen pass of the pump, the way a click on Abort
// or the close box arrives while an operation runs.
//
// The lines: "status:<Status>", "notice:<Notice>", "exclusive", "shared", "finished",
// "sharedFinished", "range:<total>", "pos:<address>", "pump".
class RecordingObserver : public OperationObserver {
  public:
    void Status(ProgrammerStatus status) override {
        m_status = Name(status);
        Record("status:" + m_status);
    }
    void Notice(ProgrammerNotice notice) override { Record("notice:" + Name(notice)); }
    void Phase(OperationPhase phase) override {
        static const char* const kNames[] = {"exclusive", "shared", "finished", "sharedFinished"};
        Record(kNames[static_cast<int>(phase)]);
    }
    void ProgressRange(std::size_t total) override { Record("range:" + std::to_string(total)); }
    void ProgressAt(std::uint32_t address) override {
        Record("pos:" + std::to_string(address));
        m_progressPositions.push_back(static_cast<int>(address));
    }
    void Pump() override {
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
    // The name of the last status reported.
    const std::string& LastStatus() const { return m_status; }

    void Clear() {
        m_calls.clear();
        m_progressPositions.clear();
    }

    static std::string Name(ProgrammerStatus status) {
        static const char* const kNames[] = {
            "BoardFailed", "Aborted",         "Erasing",        "Erased",   "Programming",
            "Programmed",  "ProgramFailed",   "Verifying",      "Verified", "Reading",
            "ReadDone",    "WritingLockBits", "LockBitsWritten"};
        return kNames[static_cast<int>(status)];
    }
    static std::string Name(ProgrammerNotice notice) {
        static const char* const kNames[] = {"BoardFailed", "NoImage", "ProgramFailed",
                                             "ImagesMatch", "ImagesDiffer"};
        return kNames[static_cast<int>(notice)];
    }

  private:
    void Record(std::string call) { m_calls.push_back(std::move(call)); }

    std::vector<std::string> m_calls;
    std::vector<int> m_progressPositions;
    std::string m_status;
    int m_pumps = 0;
    std::map<int, std::function<void()>> m_pumpActions;
};

}  // namespace velmo::testing
