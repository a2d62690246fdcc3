#pragma once

#include <QtGlobal>

// A display that DISPLAY or WAYLAND_DISPLAY names but that does not answer would make Qt end
// the program with an abort. While this object stands, the window system's platforms are
// offered with the offscreen one behind them, and their complaints about the display are kept
// off standard error; the program then finds itself on the offscreen platform and says in its
// own words that the display cannot be reached. A platform the user chose (QT_QPA_PLATFORM)
// stays the only one. Construct it before the QApplication and call Done once that exists.
class PlatformFallback {
  public:
    PlatformFallback();
    ~PlatformFallback() { Done(); }
    PlatformFallback(const PlatformFallback&) = delete;
    PlatformFallback& operator=(const PlatformFallback&) = delete;

    // Takes the platform list out of the environment again (programs started later choose
    // their own) and lets every message through.
    void Done();
    // Whether the offscreen platform was offered behind the display's.
    bool Active() const { return m_active; }

  private:
    bool m_active = false;
    bool m_done = false;
    QtMessageHandler m_previous = nullptr;
};
