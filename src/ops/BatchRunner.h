#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "cmdline/CommandLine.h"
#include "link/IspLink.h"
#include "ops/OperationObserver.h"
#include "ops/Programmer.h"
#include "port/SideFile.h"
#include "timing/Clock.h"

namespace velmo {

// The batch call where nobody sees a window: one second after the driver's start the file is
// loaded and programmed, and everything the window would show goes out as lines instead:
// "Status: " and the status text, "Fortschritt: N von M Bytes", and each message box as the
// program's name, a colon and its text (it counts as confirmed). The exit status tells a
// script what happened: 0 programmed, or nothing to do (no file, another action); 1 the
// driver did not start, the file was not found or gave no usable image, the board did not
// answer, a byte did not program, the run was stopped, or the line trace or the simulated
// chip's file could not be written.
class BatchRunner : private OperationObserver {
  public:
    using LineSink = std::function<void(const std::string& line)>;

    // program: the name messages go out under. stop: a flag that stops the run between two
    // bytes (a Ctrl-C), or null.
    BatchRunner(IspLink& link, Clock& clock, SideFiles* files, std::string program, LineSink out,
                const volatile std::sig_atomic_t* stop = nullptr);

    // What waits outside the run (a request to close), dealt with before each byte and
    // during the start's second.
    void SetPump(std::function<void()> pump) { m_pump = std::move(pump); }
    // The pause between the driver's start and the run; tests need none.
    void SetStartDelayMs(std::uint32_t delayMs) { m_startDelayMs = delayMs; }

    // The whole call; returns the exit status.
    int Run(const CommandLineSettings& settings);

    // Ends the run at once, as the window's close box does (at the latest between two bytes):
    // the mode's end sequence and the driver's stop. Returns the status the program is to end
    // with: 1 unless the file was programmed already.
    int Close();

  private:
    int Work(const BatchJob& job);
    void LoadFile(const std::string& path);
    void Status(const std::string& text);
    void Message(const std::string& text);
    // The line trace's and the simulated chip's writing: a failure is told once.
    bool FilesLost();

    // --- OperationObserver ---
    void Status(ProgrammerStatus status) override;
    void Notice(ProgrammerNotice notice) override;
    void ProgressRange(std::size_t total) override { m_progressTotal = total; }
    void ProgressAt(std::uint32_t address) override;
    void Pump() override;

    Programmer m_core;
    SideFiles* m_files;
    std::string m_program;
    LineSink m_out;
    const volatile std::sig_atomic_t* m_stop;
    std::function<void()> m_pump;
    std::uint32_t m_startDelayMs = 1000;
    // A progress bar's range before any operation sets one.
    std::size_t m_progressTotal = 100;
    std::string m_reportedFileError;
    int m_unfinishedStatus = 0;
    bool m_stopped = false;
};

}  // namespace velmo
