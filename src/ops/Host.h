#pragma once

#include <string>

namespace velmo {

// What a running operation needs from the window around it. The Qt window implements it;
// tests record every call. All calls come from the one user-interface thread.
class Host {
public:
    virtual ~Host() = default;

    virtual void SetStatusText(const std::string& text) = 0;
    // Text alone, one OK button; returns when the user has confirmed it.
    virtual void ShowMessage(const std::string& text) = 0;

    virtual void SetProgressRange(int lower, int upper) = 0;
    // Moves the bar and repaints it at once.
    virtual void SetProgressPos(int position) = 0;

    virtual void EnterBusyMenuState() = 0;
    virtual void EnterReadMenuState() = 0;
    virtual void RestoreIdleMenuState() = 0;
    virtual void RestoreIdleMenuStateAfterRead() = 0;

    // Dispatches the events that are waiting, then returns. Any enabled command may run
    // from inside it (Abort, close, ...).
    virtual void PumpMessages() = 0;

    // The lock-bit boxes into the core's members.
    virtual void ControlsToMembers() = 0;
    // The core's members (lock bits, file label, CRC text) into the controls.
    virtual void MembersToControls() = 0;
    // Full path shown by the file label's tooltip.
    virtual void SetFileTip(const std::string& path) = 0;
    // Invalidate and paint the whole window now.
    virtual void Repaint() = 0;

    // Ends the program once control is back in the event loop.
    virtual void PostQuit(int exitCode) = 0;
};

}  // namespace velmo
