// velmo-cli on a USB adapter: --port ftdi[:SERIAL] and VELMO_FTDI, run in this process on the
// fake adapter wired to the simulated chips.
#include <gtest/gtest.h>

#include "CliTestRig.h"
#include "support/FakeFtdi.h"

namespace velmo::testing {
namespace {

using cli::kExitFailure;
using cli::kExitOk;
using cli::kExitUsage;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Two FT232R cables on the bus; the one taken is wired to the simulated chips.
struct UsbCliRig {
    explicit UsbCliRig(unsigned sockets = 1) : sim(clock, Options(sockets)), fake(clock) {
        fake.Add(FtdiChip::Ft232R, "R1", 0x6001);
        fake.Add(FtdiChip::Ft232R, "R2", 0x6001);
        fake.Connect(sim, DefaultFtdiWires(false, false, sockets));
    }
    static SimOptions Options(unsigned sockets) {
        SimOptions options = VirtualSim();
        options.sockets = sockets;
        options.boardPresent = sockets == 1;  // a gang hangs on the plain cable
        return options;
    }
    int Run(const std::vector<std::string>& args, const std::string& ftdi = "") {
        out.str("");
        err.str("");
        cli::CliContext context{out, err, false,
                                [this, ftdi](const std::string&, cli::PortChoice, unsigned sockets,
                                             const std::string& serial) {
                                    PortEnvironment env{"ftdi", "", "", ""};
                                    env.ftdi = ftdi;
                                    env.adapterSerial = serial;
                                    env.sockets = sockets;
                                    return CreateFtdiLink(env, fake.System(),
                                                          std::make_unique<ForwardingClock>(clock));
                                },
                                nullptr};
        return cli::RunCli(args, context);
    }

    VirtualClock clock;
    SimPort sim;
    FakeFtdi fake;
    std::ostringstream out;
    std::ostringstream err;
};

TEST(CliFtdi, ChoosesTheAdapterProgramsAndSaysWhatWentWrong) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* ftdi;
        long unplugAfter;  // bytes, or -1
        int status;
        const char* says;  // on standard output for 0, else on standard error
    };
    const Case cases[] = {
        {"the serial chosen on the command line",
         {"--port", "ftdi:R2", "--mode", "raw", "program", kExampleHex},
         "",
         -1,
         kExitOk,
         "Programmiert und verifiziert"},
        {"the serial chosen in VELMO_FTDI",
         {"--port", "ftdi", "--mode", "board", "verify", kExampleHex},
         "serial=R2",
         -1,
         kExitFailure,
         "Chip und Datei stimmen nicht überein"},
        {"two adapters and no choice",
         {"--port", "ftdi", "erase"},
         "",
         -1,
         kExitUsage,
         "velmo-cli: Port-Treiber nicht gestartet: Mehrere USB-Adapter angeschlossen; bitte "
         "einen wählen mit --port ftdi:SERIENNUMMER oder VELMO_FTDI=serial=SERIENNUMMER (ohne "
         "Seriennummer: VELMO_FTDI=device=d:BUS/GERÄT):\n  FT232R, Seriennummer R1, \"Fake\", "
         "Bus 1, Gerät 2\n  FT232R, Seriennummer R2, \"Fake\", Bus 1, Gerät 3\n"},
        {"a VELMO_FTDI that cannot be read",
         {"--port", "ftdi:R2", "erase"},
         "sck=!9",
         -1,
         kExitUsage,
         "VELMO_FTDI: \"sck=!9\" ist keine Pinnummer"},
        {"the adapter unplugged while it writes",
         {"--port", "ftdi:R2", "--mode", "raw", "program", kExampleHex},
         "",
         10000,
         kExitFailure,
         "velmo-cli: Der USB-Adapter FT232R (Seriennummer R2) nimmt keine Daten mehr an "
         "(LIBUSB_ERROR_NO_DEVICE); ist er noch eingesteckt? Der Vorgang wurde abgebrochen.\n"},
        {"READY left out",
         {"--port", "ftdi:R2", "erase"},
         "ready=-",
         -1,
         kExitFailure,
         "Fehler beim Initialisieren des Velmo-Boards (USB-Adapter; für ein einfaches Kabel: "
         "--mode raw)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UsbCliRig rig;
        rig.fake.unplugAfterBytes = c.unplugAfter;
        EXPECT_EQ(rig.Run(c.args, c.ftdi), c.status) << rig.err.str();
        const std::string said = c.status == kExitOk ? rig.out.str() : rig.err.str();
        EXPECT_TRUE(Contains(said, c.says)) << said;
        if (c.status != kExitOk) {
            EXPECT_EQ(rig.out.str(), "");
        }
    }
}

TEST(CliFtdi, AGangOnBitBangHasEverySocketsLine) {
    UsbCliRig rig(3);
    EXPECT_EQ(
        rig.Run({"--port", "ftdi:R2", "--sockets", "3", "--mode", "raw", "program", kExampleHex}),
        kExitOk)
        << rig.err.str();
    EXPECT_EQ(rig.out.str(), "Sockel 1: OK\nSockel 2: OK\nSockel 3: OK\n");
    EXPECT_EQ(rig.Run({"--port", "ftdi:R2", "--sockets", "6", "--mode", "raw", "erase"}),
              kExitUsage);
    EXPECT_TRUE(Contains(rig.err.str(), "also höchstens 5 Sockel")) << rig.err.str();
}

}  // namespace
}  // namespace velmo::testing
