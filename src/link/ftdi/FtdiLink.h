#pragma once

#include <memory>
#include <string>
#include <vector>

#include "link/IspLink.h"
#include "link/ftdi/FtdiConfig.h"
#include "link/ftdi/FtdiSystem.h"
#include "link/ftdi/FtdiWire.h"
#include "port/SideFile.h"
#include "port/VcdRecorder.h"
#include "timing/Clock.h"

namespace velmo {

// The link over an FTDI USB adapter: an FT232H, FT2232H or FT4232H through its MPSSE, an
// FT232R or FT231X in synchronous bit-bang mode. Every USB transfer costs a round trip (125 us
// to a millisecond and more), so a whole batch of instructions goes out in one transfer and
// its answers come back together; the adapter clocks the bits at its own pace, never faster
// than the half-period asks. Waits the adapter cannot make by itself end the transfer, and the
// host waits once its answers have come back (they prove that everything before has happened).
//
// StartDriver takes the one adapter on the bus that matches (serial, device); several without
// a choice, or pins the adapter cannot serve, fail the start as the call's fault
// (RefusedCall). An adapter that fails or goes away during a run stops the driver and says so
// in DriverMessage; every later answer is 0. StopDriver drives RST low and turns every pin
// into an input. With a trace path, the lines are recorded as the adapter clocked them.
class FtdiLink : public IspLink, public SideFile {
  public:
    // system: nullptr where this build has no USB support.
    FtdiLink(std::unique_ptr<FtdiSystem> system, Clock& clock, FtdiConfig config,
             unsigned sockets = 1, std::string tracePath = {});
    ~FtdiLink() override;
    FtdiLink(const FtdiLink&) = delete;
    FtdiLink& operator=(const FtdiLink&) = delete;

    void StartDriver() override;
    void StopDriver() override;
    bool DriverActive() const override { return m_active; }
    std::string DriverMessage() const override { return m_message; }
    bool RefusedCall() const override { return m_refused; }
    unsigned Sockets() const override { return m_sockets; }
    bool RunSequence(std::span<const LineStep> steps) override;
    void Transfer(std::span<const Instruction> batch, std::vector<SocketBytes>& answers) override;
    unsigned PollsPerTransfer() const override;

    std::string FinishFile() override;
    bool IsFile(const std::string& path) const override;

  private:
    // An answer that the transfer under way will bring: a byte for an instruction's entry, or
    // an input level a line sequence expects.
    struct Pending {
        bool input = false;
        std::size_t entry = 0;
        std::size_t answer = 0;
        IspLine line = IspLine::Ready;
        bool level = false;
    };

    bool Start();
    bool Choose(FtdiDevice& chosen);
    bool Configure();
    void Wait(std::uint32_t microseconds);
    void ShiftInstruction(const Instruction& instruction, std::size_t entry);
    bool Flush();
    void Record(std::int64_t startNs);
    void Fail(const std::string& what);
    void Release();
    std::string Name() const;

    std::unique_ptr<FtdiSystem> m_system;
    Clock& m_clock;
    FtdiConfig m_config;
    unsigned m_sockets;
    std::string m_tracePath;
    std::unique_ptr<VcdRecorder> m_trace;
    FtdiDevice m_device;
    FtdiDrive m_drive = FtdiDrive::Mpsse;
    std::unique_ptr<FtdiWire> m_wire;
    bool m_open = false;
    bool m_active = false;
    bool m_refused = false;
    std::string m_message = "Der USB-Adapter ist nicht gestartet.";
    std::vector<Pending> m_pending;
    std::vector<SocketBytes>* m_entries = nullptr;  // where Transfer's answers go
    bool m_inputsAnswered = true;                   // RunSequence's inputs so far
    std::vector<std::uint8_t> m_in;
};

}  // namespace velmo
