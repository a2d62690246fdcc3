// The USB link on a fake adapter that runs the MPSSE's commands and synchronous bit-bang,
// wired to the simulated chip: which adapter it takes, what it says, and the chip's instructions
// in both drives.
#include <gtest/gtest.h>

#include "isp/At89s53.h"
#include "isp/Sequences.h"
#include "link/ftdi/FtdiLink.h"
#include "sim/SimChip.h"
#include "sim/SimPort.h"
#include "support/FakeFtdi.h"
#include "support/Images.h"
#include "support/TempDir.h"
#include "support/Vcd.h"

namespace velmo {
namespace {

using testing::FakeFtdi;

FtdiConfig Config(const std::string& text) {
    std::string error;
    std::optional<FtdiConfig> config = ParseFtdiConfig(text, &error);
    EXPECT_TRUE(config) << error;
    return config.value_or(FtdiConfig{});
}

bool Mpsse(FtdiChip chip) {
    return chip != FtdiChip::Ft232R && chip != FtdiChip::Ft230X;
}

// One adapter wired to one simulated chip (or a gang of them) on the virtual clock.
struct Rig {
    Rig(FtdiChip chip, const std::string& config, bool inverters = false, unsigned sockets = 1,
        std::string trace = {})
        : sim(clock, Options(sockets)), fake(clock) {
        fake.Add(chip, "A1");
        fake.Connect(sim, testing::DefaultFtdiWires(Mpsse(chip), inverters, sockets));
        link = std::make_unique<FtdiLink>(fake.System(), clock, Config(config), sockets, trace);
    }
    static SimOptions Options(unsigned sockets) {
        SimOptions options;
        options.sockets = sockets;
        options.boardPresent = sockets == 1;  // a gang hangs on the plain cable
        return options;
    }
    bool TargetRst() { return LineLevel(IspLine::Rst, sim.ReadPort(sim.BaseAddress())); }
    // Writes value and polls until the cell answers it.
    bool Write(std::uint16_t address, std::uint8_t value) {
        link->Send(at89s53::WriteCode(address, value, 2));
        for (int poll = 0; poll < 20; ++poll) {
            if (link->Send(at89s53::ReadCode(address, 2))[0] == value) return true;
        }
        return false;
    }

    VirtualClock clock;
    SimPort sim;
    FakeFtdi fake;
    std::unique_ptr<FtdiLink> link;
};

TEST(FtdiLink, EveryAdapterKindProgramsTheChipAndReleasesItsPins) {
    struct Case {
        const char* name;
        FtdiChip chip;
        const char* config;
        bool inverters;
    };
    const Case cases[] = {
        {"FT232H", FtdiChip::Ft232H, "", false},
        {"FT232H behind inverters", FtdiChip::Ft232H,
         "sck=!0,mosi=!1,miso=!2,rst=!3,enable=!4,ready=!5", true},
        {"FT2232H, channel B", FtdiChip::Ft2232H, "interface=b", false},
        {"FT2232D, 12 MHz engine", FtdiChip::Ft2232C, "", false},
        {"FT232R", FtdiChip::Ft232R, "", false},
        {"FT232R behind inverters", FtdiChip::Ft232R,
         "sck=!0,mosi=!2,miso=!1,rst=!4,enable=!3,ready=!5", true},
        {"FT231X", FtdiChip::Ft230X, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.chip, c.config, c.inverters);
        // Pull-ups at the inverters' inputs keep the target's lines low while nothing drives.
        if (c.inverters) rig.fake.pulledUp = 0xFF;
        rig.link->StartDriver();
        ASSERT_TRUE(rig.link->DriverActive()) << rig.link->DriverMessage();
        EXPECT_FALSE(rig.TargetRst()) << "the pins start at rest";
        EXPECT_TRUE(rig.link->RunSequence(StartSequence(ProgrammerMode::Board)))
            << "the board's READY came back";
        rig.link->Send(at89s53::ProgrammingEnable());
        rig.link->Send(at89s53::ChipErase());
        const std::uint8_t bytes[] = {0x12, 0x80, 0x00, 0x7F};
        for (std::uint16_t a = 0; a < 4; ++a) EXPECT_TRUE(rig.Write(a, bytes[a]));
        std::vector<Instruction> reads;
        for (std::uint16_t a = 0; a < 6; ++a) reads.push_back(at89s53::ReadCode(a, 2));
        std::vector<SocketBytes> answers;
        const long before = rig.fake.transfers;
        const std::int64_t startNs = rig.clock.NowNs();
        rig.link->Transfer(reads, answers);
        EXPECT_EQ(rig.fake.transfers - before, 1) << "a run of reads is one transfer";
        // 18 bytes of 8 bits at 2 us a half, and a bit-bang byte's extra tick: no slower.
        const std::int64_t roundTrip =
            Mpsse(c.chip) && c.chip != FtdiChip::Ft2232C ? 125'000 : 1'000'000;
        EXPECT_LT(rig.clock.NowNs() - startNs, roundTrip + 18 * 17 * 2000 * 11 / 10);
        ASSERT_EQ(answers.size(), 6u);
        for (std::size_t a = 0; a < 6; ++a) EXPECT_EQ(answers[a][0], a < 4 ? bytes[a] : 0xFF);
        EXPECT_EQ(rig.sim.Chip().ClockViolations(), 0u);
        // The one the MPSSE's start sends on purpose, to see its answer.
        EXPECT_EQ(rig.fake.badCommands,
                  Mpsse(c.chip) ? std::vector<std::uint8_t>{0xAA} : std::vector<std::uint8_t>{});
        EXPECT_EQ(rig.fake.latencyMs, 1);
        EXPECT_EQ(rig.fake.channel, std::string(c.config) == "interface=b" ? 1u : 0u);
        rig.link->StopDriver();
        EXPECT_FALSE(rig.TargetRst()) << "RST is low at the end";
        EXPECT_EQ(rig.fake.direction, 0) << "every pin is an input";
        EXPECT_TRUE(rig.fake.closed);
    }
}

TEST(FtdiLink, TakesTheOneAdapterMeantAndSaysWhyItCannot) {
    struct Device {
        FtdiChip chip;
        const char* serial;
        std::uint16_t product;
        bool accessible = true;
    };
    struct Case {
        const char* name;
        std::vector<Device> devices;
        const char* config;
        unsigned sockets;
        const char* opened;   // the serial of the adapter taken, or nullptr
        const char* message;  // a piece of the message when none is taken
        bool refused;
        int openResult = 0;
    };
    const Device h{FtdiChip::Ft232H, "H1", 0x6014};
    const Device r1{FtdiChip::Ft232R, "R1", 0x6001};
    const Device r2{FtdiChip::Ft232R, "R2", 0x6001};
    const Case cases[] = {
        {"the only one", {r1}, "", 1, "R1", nullptr, false},
        {"by serial", {h, r1, r2}, "serial=R2", 1, "R2", nullptr, false},
        {"by bus and device", {h, r1, r2}, "device=d:1/3", 1, "R1", nullptr, false},
        {"second of its ids", {h, r1, r2}, "device=i:0403:6001:1", 1, "R2", nullptr, false},
        {"by ids and serial", {h, r1}, "device=s:0x0403:0x6014:H1", 1, "H1", nullptr, false},
        {"several, none chosen",
         {h, r1},
         "",
         1,
         nullptr,
         "Mehrere USB-Adapter angeschlossen; bitte einen wählen mit --port ftdi:SERIENNUMMER",
         true},
        {"none", {}, "", 1, nullptr, "Kein FTDI-USB-Adapter gefunden", false},
        {"serial not there",
         {h},
         "serial=X9",
         1,
         nullptr,
         "Kein USB-Adapter passt zu Seriennummer X9; angeschlossen sind:\n  FT232H, Seriennummer "
         "H1, \"Fake\", Bus 1, Gerät 2",
         false},
        {"no permission",
         {{FtdiChip::Ft232R, "R1", 0x6001, false}},
         "",
         1,
         nullptr,
         "Kein Zugriff auf den USB-Adapter FT232R (Seriennummer R1). Die udev-Regel "
         "60-velmo-ftdi.rules",
         false},
        {"no permission found on opening",
         {r1},
         "",
         1,
         nullptr,
         "sudo adduser \"$USER\" plugdev, danach neu anmelden und den Adapter neu einstecken",
         false,
         FtdiSystem::kNoAccess},
        {"it does not open",
         {r1},
         "",
         1,
         nullptr,
         "Der USB-Adapter FT232R (Seriennummer R1) lässt sich nicht öffnen: unable to open.",
         false,
         -5},
        {"an old chip",
         {{FtdiChip::Bm, "B1", 0x6001}},
         "",
         1,
         nullptr,
         "weder MPSSE noch synchronen Bitbang",
         false},
        {"FT4232H channel C",
         {{FtdiChip::Ft4232H, "Q1", 0x6011}},
         "interface=C",
         1,
         nullptr,
         "auf Schnittstelle C weder MPSSE",
         false},
        {"a gang on the MPSSE", {h}, "", 2, nullptr, "Mehrere Sockel (--sockets) gehen nur", true},
        {"SCK moved on the MPSSE", {h}, "sck=5", 1, nullptr, "fest auf ADBUS0", true},
        {"a gang's MISO on RST",
         {r1},
         "miso=1/4",
         2,
         nullptr,
         "RST und MISO2 liegen beide auf Pin 4",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualClock clock;
        FakeFtdi fake(clock);
        fake.openResult = c.openResult;
        for (const Device& d : c.devices) {
            fake.Add(d.chip, d.serial, d.product).accessible = d.accessible;
        }
        FtdiLink link(fake.System(), clock, Config(c.config), c.sockets);
        link.StartDriver();
        EXPECT_EQ(link.DriverActive(), c.opened != nullptr) << link.DriverMessage();
        EXPECT_EQ(link.RefusedCall(), c.refused);
        if (c.opened) {
            ASSERT_NE(fake.opened, nullptr);
            EXPECT_EQ(fake.opened->serial, c.opened);
        } else {
            EXPECT_NE(link.DriverMessage().find(c.message), std::string::npos)
                << link.DriverMessage();
            EXPECT_EQ(fake.opened == nullptr || fake.closed, true) << "nothing is left open";
        }
    }
}

TEST(FtdiLink, SaysWhatIsMissingWithoutAUsbSystemOrWhenItCannotBeAsked) {
    VirtualClock clock;
    FtdiLink none(nullptr, clock, FtdiConfig{});
    none.StartDriver();
    EXPECT_NE(none.DriverMessage().find("ohne USB-Unterstützung"), std::string::npos);
    FakeFtdi fake(clock);
    fake.listFails = true;
    FtdiLink broken(fake.System(), clock, FtdiConfig{});
    broken.StartDriver();
    EXPECT_EQ(broken.DriverMessage(),
              "Die USB-Geräte können nicht abgefragt werden: LIBUSB_ERROR_OTHER.");
}

TEST(FtdiLink, AnAdapterThatGoesAwayEndsTheRunAndIsNamed) {
    for (const FtdiChip chip : {FtdiChip::Ft232H, FtdiChip::Ft232R}) {
        Rig rig(chip, "");
        rig.link->StartDriver();
        rig.link->RunSequence(StartSequence(ProgrammerMode::Raw));
        rig.fake.unplugAfterBytes = rig.fake.bytesOut + 10;
        const SocketBytes answer = rig.link->Send(at89s53::ReadCode(0, 2));
        EXPECT_EQ(answer[0], 0);
        EXPECT_FALSE(rig.link->DriverActive());
        EXPECT_EQ(rig.link->DriverMessage(),
                  std::string("Der USB-Adapter ") + FtdiChipName(chip) +
                      " (Seriennummer A1) nimmt keine Daten mehr an (LIBUSB_ERROR_NO_DEVICE); ist "
                      "er noch eingesteckt? Der Vorgang wurde abgebrochen.");
        EXPECT_FALSE(rig.link->RunSequence(StartSequence(ProgrammerMode::Board)));
        rig.link->StopDriver();
    }
}

TEST(FtdiLink, AGangOnBitBangReadsEverySocketAtOnce) {
    Rig rig(FtdiChip::Ft232R, "", false, 3);
    for (unsigned s = 0; s < 3; ++s) {
        FlashImage flash;
        ClearImage(flash);
        flash[7] = static_cast<std::uint8_t>(0x10 * (s + 1));
        rig.sim.Chip(s).SetFlash(flash);
    }
    rig.link->StartDriver();
    ASSERT_TRUE(rig.link->DriverActive()) << rig.link->DriverMessage();
    EXPECT_NE(rig.link->DriverMessage().find("MISO2 D3 (CTS), MISO3 D5 (DSR)"), std::string::npos);
    rig.link->RunSequence(StartSequence(ProgrammerMode::Raw));
    rig.link->Send(at89s53::ProgrammingEnable());
    const SocketBytes answer = rig.link->Send(at89s53::ReadCode(7, 2));
    EXPECT_EQ(answer[0], 0x10);
    EXPECT_EQ(answer[1], 0x20);
    EXPECT_EQ(answer[2], 0x30);
}

// The trace shows the bytes as the chip takes them: at SCK's rising edge in mode 0, at its
// falling edge in mode 1.
TEST(FtdiLink, TheTraceRecordsTheLevelsAsClockedInBothModes) {
    for (const FtdiChip chip : {FtdiChip::Ft232H, FtdiChip::Ft232R}) {
        for (const SpiMode mode : {SpiMode::Mode0, SpiMode::Mode1}) {
            SCOPED_TRACE(FtdiChipName(chip));
            testing::TempDir dir;
            const std::string path = dir.Path("lines.vcd");
            {
                Rig rig(chip, "", false, 1, path);
                rig.link->StartDriver();
                ASSERT_TRUE(rig.link->DriverActive()) << rig.link->DriverMessage();
                EXPECT_TRUE(rig.link->IsFile(path));
                Instruction instruction = at89s53::WriteCode(0x1234, 0xA5, 3);
                instruction.mode = mode;
                rig.link->Send(instruction);
                rig.link->StopDriver();
                EXPECT_EQ(rig.link->FinishFile(), "");
            }
            testing::Vcd vcd = testing::ParseVcd(testing::ReadBytes(path));
            EXPECT_TRUE(vcd.timesIncrease);
            if (mode == SpiMode::Mode1) {
                // Read MOSI at the falling edges: the same bytes as at the rising ones a half
                // period later.
                for (auto& change : vcd.changes["SCK"]) change.second = 1 - change.second;
            }
            EXPECT_EQ(testing::DecodeBytes(vcd), (std::vector<std::uint8_t>{0x92, 0x34, 0xA5}));
        }
    }
}

}  // namespace
}  // namespace velmo
