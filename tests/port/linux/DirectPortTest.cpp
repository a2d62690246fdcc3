// The raw I/O backend with a fake ioperm/inb/outb.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include "port/linux/DirectPort.h"

namespace velmo {
namespace {

struct DirectLog {
    std::vector<std::string> calls;
    std::map<std::uint16_t, std::uint8_t> ports;
};

class FakeDirectIo : public DirectIoSystem {
  public:
    explicit FakeDirectIo(DirectLog* log) : m_log(log) {}
    bool Supported() const override { return supported; }
    bool IsRoot() const override { return root; }
    int Ioperm(std::uint16_t from, unsigned count, bool on) override {
        m_log->calls.push_back("ioperm " + std::to_string(from) + " " + std::to_string(count) +
                               (on ? " on" : " off"));
        return on ? -iopermErrno : 0;
    }
    std::uint8_t Inb(std::uint16_t address) override {
        m_log->calls.push_back("inb " + std::to_string(address));
        return m_log->ports[address];
    }
    void Outb(std::uint16_t address, std::uint8_t value) override {
        m_log->calls.push_back("outb " + std::to_string(address));
        m_log->ports[address] = value;
    }

    bool supported = true;
    bool root = true;
    int iopermErrno = 0;

  private:
    DirectLog* m_log;
};

std::unique_ptr<DirectPort> MakePort(DirectLog& log, bool supported, bool root, int err) {
    auto io = std::make_unique<FakeDirectIo>(&log);
    io->supported = supported;
    io->root = root;
    io->iopermErrno = err;
    return std::make_unique<DirectPort>(std::move(io));
}

TEST(DirectPort, TouchesOnlyTheThreeGrantedRegisters) {
    DirectLog log;
    auto port = MakePort(log, true, true, 0);
    port->SetBaseAddress(0x278);
    port->WritePort(0x278, 1);  // not started: nothing
    EXPECT_EQ(port->ReadPort(0x279), 0);
    EXPECT_TRUE(log.calls.empty());

    port->StartDriver();
    ASSERT_TRUE(port->DriverActive());
    EXPECT_NE(port->DriverMessage().find("0x278"), std::string::npos);
    log.ports[0x279] = 0x5A;
    port->WritePort(0x278, 0x0F);
    port->WritePort(0x27A, 0x04);
    port->WritePort(0x279, 0x00);  // status: no write
    port->WritePort(0x27B, 0x00);  // not granted
    port->WritePort(0x378, 0x00);  // not granted
    EXPECT_EQ(port->ReadPort(0x279), 0x5A);
    EXPECT_EQ(port->ReadPort(0x277), 0);
    EXPECT_EQ(log.calls,
              (std::vector<std::string>{"ioperm 632 3 on", "outb 632", "outb 634", "inb 633"}));

    log.calls.clear();
    port->SetBaseAddress(0x378);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"ioperm 632 3 off", "ioperm 888 3 on"}));
    log.calls.clear();
    port->StopDriver();
    EXPECT_FALSE(port->DriverActive());
    EXPECT_EQ(log.calls, (std::vector<std::string>{"ioperm 888 3 off"}));
    port->WritePort(0x378, 0x00);
    EXPECT_EQ(log.calls.size(), 1u);
}

TEST(DirectPort, StartFailuresTellTheUserWhatToDo) {
    struct Case {
        const char* name;
        bool supported;
        bool root;
        int err;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"not x86", false, true, 0, {"x86", "VELMO_PORT=ppdev"}},
        {"not root", true, false, EPERM, {"root", "VELMO_PORT=ppdev", "Gruppe lp"}},
        {"kernel lockdown", true, true, EPERM, {"Lockdown", "VELMO_PORT=ppdev"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DirectLog log;
        auto port = MakePort(log, c.supported, c.root, c.err);
        port->StartDriver();
        EXPECT_FALSE(port->DriverActive());
        for (const std::string& part : c.says) {
            EXPECT_NE(port->DriverMessage().find(part), std::string::npos)
                << port->DriverMessage() << " / " << part;
        }
        log.calls.clear();
        port->WritePort(0x378, 0xFF);
        EXPECT_EQ(port->ReadPort(0x379), 0);
        EXPECT_TRUE(log.calls.empty()) << "an unpermitted access would kill the process";
    }
}

}  // namespace
}  // namespace velmo
