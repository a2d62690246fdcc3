// The ppdev backend on a fake /proc tree and a fake ioctl layer.
#include <gtest/gtest.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>

#include "link/BitBangLink.h"
#include "ops/ChipJobs.h"
#include "port/linux/PpdevPort.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "support/Images.h"
#include "support/TempDir.h"

namespace velmo {
namespace {

namespace fs = std::filesystem;

struct Call {
    std::string what;  // "open <path>", "close <fd>", or the ioctl's name
    int fd;
    unsigned char value;
};

class FakePpdev : public PpdevSystem {
  public:
    int Open(const std::string& path) override {
        calls->push_back({"open " + path, -1, 0});
        if (auto it = openErrors.find(path); it != openErrors.end()) {
            return -it->second;
        }
        fds[nextFd] = path;
        return nextFd++;
    }
    int Ioctl(int fd, unsigned long request, unsigned char* value) override {
        const std::string name = Name(request);
        calls->push_back({name, fd, value ? *value : static_cast<unsigned char>(0)});
        if (auto it = ioctlErrors.find(name); it != ioctlErrors.end()) {
            return -it->second;
        }
        if (target && request == PPWDATA) target->WritePort(target->BaseAddress(), *value);
        if (target && request == PPRSTATUS) {
            registers[1] = target->ReadPort(static_cast<std::uint16_t>(target->BaseAddress() + 1));
        }
        if (request == PPWDATA) registers[0] = *value;
        if (request == PPWCONTROL) registers[2] = *value;
        if (request == PPRDATA) *value = registers[0];
        if (request == PPRSTATUS) *value = registers[1];
        if (request == PPRCONTROL) *value = registers[2];
        return 0;
    }
    void Close(int fd) override {
        calls->push_back({"close", fd, 0});
        fds.erase(fd);
    }

    static std::string Name(unsigned long request) {
        switch (request) {
            case PPCLAIM:
                return "PPCLAIM";
            case PPRELEASE:
                return "PPRELEASE";
            case PPRDATA:
                return "PPRDATA";
            case PPWDATA:
                return "PPWDATA";
            case PPRSTATUS:
                return "PPRSTATUS";
            case PPRCONTROL:
                return "PPRCONTROL";
            case PPWCONTROL:
                return "PPWCONTROL";
            default:
                return "other";
        }
    }

    std::shared_ptr<std::vector<Call>> calls = std::make_shared<std::vector<Call>>();
    std::map<std::string, int> openErrors;   // path -> errno
    std::map<std::string, int> ioctlErrors;  // ioctl name -> errno
    std::map<int, std::string> fds;
    unsigned char registers[3] = {0x00, 0x7F, 0x0C};
    int nextFd = 10;
    PortIo* target = nullptr;  // what hangs on the port's pins, when anything does
};

class Ppdev : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = m_tempDir.Root();
        fs::create_directories(root_ / "proc");
        fs::create_directories(root_ / "dev");
        // Something the kernel also keeps there, and which is no port.
        fs::create_directories(root_ / "proc" / "default");
        std::ofstream(root_ / "proc" / "default" / "timeslice") << "200\n";
    }

    void AddPort(const std::string& name, const std::string& baseAddr) {
        fs::create_directories(root_ / "proc" / name);
        std::ofstream(root_ / "proc" / name / "base-addr") << baseAddr;
    }

    PpdevPaths Paths() const { return {(root_ / "proc").string(), (root_ / "dev").string()}; }
    std::string Dev(const std::string& name) const { return (root_ / "dev" / name).string(); }

    // The port owns the fake; the test keeps a view of it.
    std::unique_ptr<PpdevPort> MakePort(std::function<void(FakePpdev&)> setup = {}) {
        auto fake = std::make_unique<FakePpdev>();
        if (setup) setup(*fake);
        fake_ = fake.get();
        calls_ = fake->calls;
        return std::make_unique<PpdevPort>(Paths(), std::move(fake));
    }

    std::vector<std::string> CallNames() const {
        std::vector<std::string> names;
        for (const Call& c : *calls_) names.push_back(c.what);
        return names;
    }

    testing::TempDir m_tempDir;
    fs::path root_;
    FakePpdev* fake_ = nullptr;
    std::shared_ptr<std::vector<Call>> calls_;
};

// A gang of five on the port's five status inputs, all read with one PPRSTATUS per bit.
TEST_F(Ppdev, FiveSocketsAnswerOnTheFiveStatusInputs) {
    AddPort("parport0", "888\t1912\n");
    VirtualClock clock;
    SimOptions options = ParseSimOptions("stuck@4=0100:00", nullptr).value();
    options.sockets = 5;
    SimPort sim(clock, options);
    sim.StartDriver();
    auto port = MakePort([&](FakePpdev& fake) { fake.target = &sim; });
    BitBangLink link(*port, clock, 5);
    OperationObserver observer;
    ChipSession session(link, clock, observer, ProgrammerMode::Raw, 2);
    session.SetWriteCompletion(WriteCompletion::DataPolling);
    ASSERT_TRUE(session.Open().ok()) << port->DriverMessage();
    FlashImage image = testing::PatternStart(0x200, 2);
    image[0x0100] = 0x5A;
    // Every write is confirmed by polls read through the port's status inputs.
    ASSERT_TRUE(EraseChips(session).ok());
    ASSERT_TRUE(session.Write(image, WriteSelection::SkipBlank).ok());
    session.Close();
    for (unsigned s = 0; s < 5; ++s) {
        SCOPED_TRACE(s + 1);
        if (s == 3) {
            EXPECT_EQ(session.Socket(s).fault, SocketFault::WriteFailed);
            EXPECT_EQ(session.Socket(s).address, 0x0100u);
            continue;
        }
        EXPECT_TRUE(session.Socket(s).ok());
        EXPECT_EQ(sim.Chip(s).Flash(), image);
    }
}

TEST_F(Ppdev, ListsThePortsTheKernelKnowsInOrder) {
    AddPort("parport10", "15376\t15384\n");
    AddPort("parport1", "632\t1656\n");
    AddPort("parport0", "888\t1912\n");
    AddPort("parport2", "garbage\n");  // unreadable base: skipped
    AddPort("parportX", "956\t-1\n");  // not a port's name
    const auto ports = ListParports((root_ / "proc").string());
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].name, "parport0");
    EXPECT_EQ(ports[0].base, 0x378);
    EXPECT_EQ(ports[1].name, "parport1");
    EXPECT_EQ(ports[1].base, 0x278);
    EXPECT_EQ(ports[2].name, "parport10");
    EXPECT_EQ(ports[2].base, 0x3C10);
    EXPECT_TRUE(ListParports((root_ / "nothing").string()).empty());
}

TEST_F(Ppdev, StartClaimsTheDeviceOfTheBaseAddress) {
    AddPort("parport0", "888\t1912\n");
    AddPort("parport1", "632\t1656\n");
    auto port = MakePort();
    port->SetBaseAddress(0x278);
    port->StartDriver();
    ASSERT_TRUE(port->DriverActive()) << port->DriverMessage();
    EXPECT_EQ(port->DevicePath(), Dev("parport1"));
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"open " + Dev("parport1"), "PPCLAIM"}));
    EXPECT_NE(port->DriverMessage().find("ppdev"), std::string::npos);
    EXPECT_NE(port->DriverMessage().find("0x278"), std::string::npos);

    calls_->clear();
    port->StopDriver();
    EXPECT_FALSE(port->DriverActive());
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"PPRELEASE", "close"}));
    EXPECT_TRUE(fake_->fds.empty());
}

TEST_F(Ppdev, RegistersMapOntoTheIoctls) {
    AddPort("parport0", "888\t1912\n");
    auto port = MakePort();
    port->StartDriver();
    ASSERT_TRUE(port->DriverActive());
    calls_->clear();
    fake_->registers[1] = 0x5F;
    port->WritePort(0x378, 0xA5);
    port->WritePort(0x37A, 0x04);
    port->WritePort(0x379, 0x00);  // status: read-only, no call
    port->WritePort(0x37B, 0x00);  // beyond the three registers: no call
    EXPECT_EQ(port->ReadPort(0x378), 0xA5);
    EXPECT_EQ(port->ReadPort(0x379), 0x5F);
    EXPECT_EQ(port->ReadPort(0x37A), 0x04);
    EXPECT_EQ(port->ReadPort(0x377), 0);
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"PPWDATA", "PPWCONTROL", "PPRDATA",
                                                     "PPRSTATUS", "PPRCONTROL"}));
    EXPECT_EQ((*calls_)[0].value, 0xA5);
    EXPECT_EQ((*calls_)[0].fd, 10);
}

TEST_F(Ppdev, StartFailuresTellTheUserWhatToDo) {
    struct Case {
        const char* name;
        bool withPorts;
        std::uint16_t base;
        int openErrno;
        int claimErrno;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"no parallel port at all", false, 0x378, 0, 0, {"kein Parallelport", "parport_pc"}},
        {"none at this address",
         true,
         0x3BC,
         0,
         0,
         {"0x3BC", "parport0 an 0x378", "parport1 an 0x278", "Menü Port"}},
        {"no permission",
         true,
         0x378,
         EACCES,
         0,
         {"Kein Zugriff", "parport0", "Gruppe lp", "sudo adduser ", " lp)", "neu an"}},
        {"not permitted", true, 0x378, EPERM, 0, {"Kein Zugriff", "Gruppe lp", "sudo adduser "}},
        {"no device file", true, 0x378, ENOENT, 0, {"parport0", "modprobe ppdev"}},
        {"other open error", true, 0x378, EIO, 0, {"parport0", "nicht geöffnet"}},
        {"claim refused", true, 0x378, 0, EBUSY, {"PPCLAIM", "parport0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root_ / "proc");
        fs::create_directories(root_ / "proc");
        if (c.withPorts) {
            AddPort("parport0", "888\t1912\n");
            AddPort("parport1", "632\t-1\n");
        }
        auto port = MakePort([&](FakePpdev& fake) {
            if (c.openErrno) fake.openErrors[Dev("parport0")] = c.openErrno;
            if (c.claimErrno) fake.ioctlErrors["PPCLAIM"] = c.claimErrno;
        });
        port->SetBaseAddress(c.base);
        port->StartDriver();
        EXPECT_FALSE(port->DriverActive());
        const std::string message = port->DriverMessage();
        for (const std::string& part : c.says) {
            EXPECT_NE(message.find(part), std::string::npos) << message << " / " << part;
        }
        // velmo-cli prints it as its one line on standard error.
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        EXPECT_TRUE(fake_->fds.empty()) << "nothing left open";
        // A port that did not start touches nothing.
        calls_->clear();
        port->WritePort(c.base, 0xFF);
        EXPECT_EQ(port->ReadPort(static_cast<std::uint16_t>(c.base + 1)), 0);
        EXPECT_TRUE(calls_->empty());
    }
}

TEST_F(Ppdev, AFailedAccessStopsTheDriverAndSaysSo) {
    AddPort("parport0", "888\t1912\n");
    auto port = MakePort();
    port->StartDriver();
    ASSERT_TRUE(port->DriverActive());
    fake_->ioctlErrors["PPRSTATUS"] = ENODEV;
    EXPECT_EQ(port->ReadPort(0x379), 0) << "READY must not seem to answer";
    EXPECT_FALSE(port->DriverActive());
    EXPECT_NE(port->DriverMessage().find("PPRSTATUS"), std::string::npos);
    calls_->clear();
    port->WritePort(0x378, 0x01);
    EXPECT_TRUE(calls_->empty()) << "no more accesses after a failure";
    port->StopDriver();
    EXPECT_TRUE(fake_->fds.empty());
}

TEST_F(Ppdev, ANewBaseAddressMovesTheClaimToThatDevice) {
    AddPort("parport0", "888\t1912\n");
    AddPort("parport1", "632\t1656\n");
    auto port = MakePort();
    port->StartDriver();
    ASSERT_EQ(port->DevicePath(), Dev("parport0"));
    calls_->clear();

    port->SetBaseAddress(0x278);
    EXPECT_TRUE(port->DriverActive());
    EXPECT_EQ(port->DevicePath(), Dev("parport1"));
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"PPRELEASE", "close",
                                                     "open " + Dev("parport1"), "PPCLAIM"}));
    calls_->clear();
    port->WritePort(0x278, 0x0F);
    ASSERT_EQ(calls_->size(), 1u);
    EXPECT_EQ((*calls_)[0].fd, 11) << "the new device's descriptor";

    port->SetBaseAddress(0x3BC);  // no port there
    EXPECT_FALSE(port->DriverActive());
    EXPECT_NE(port->DriverMessage().find("0x3BC"), std::string::npos);
    EXPECT_TRUE(fake_->fds.empty());
}

TEST_F(Ppdev, ABaseAddressChangeBeforeStartOnlyChoosesTheDevice) {
    AddPort("parport1", "632\t1656\n");
    auto port = MakePort();
    port->SetBaseAddress(0x278);
    EXPECT_TRUE(calls_->empty());
    port->StartDriver();
    EXPECT_EQ(port->DevicePath(), Dev("parport1"));
}

}  // namespace
}  // namespace velmo
