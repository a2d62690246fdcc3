// A stand-in for InpOutx64's inpoutx64.dll, for the tests of the Windows programs: its port is
// the simulated AT89S53 on its board, on the real clock as a port would be. Which chip file it
// keeps and whether its "driver" is open, its environment says:
//   VELMO_FAKE_INPOUT=closed      the driver is not open (as before a first administrator start)
//   VELMO_FAKE_INPOUT_CHIP=FILE   the simulated chip's file
#include <windows.h>

#include <memory>

#include "sim/SimPort.h"
#include "sys/Process.h"
#include "timing/Clock.h"

namespace {

struct Simulator {
    Simulator() : clock(velmo::MakeRealClock()) {
        velmo::SimOptions options;
        options.chipFile = velmo::sys::EnvironmentVariable("VELMO_FAKE_INPOUT_CHIP");
        port = std::make_unique<velmo::SimPort>(*clock, options);
        port->StartDriver();
    }
    std::unique_ptr<velmo::Clock> clock;
    std::unique_ptr<velmo::SimPort> port;
};

velmo::SimPort& Port() {
    static Simulator simulator;
    return *simulator.port;
}

}  // namespace

extern "C" {

__declspec(dllexport) BOOL __stdcall IsInpOutDriverOpen() {
    return velmo::sys::EnvironmentVariable("VELMO_FAKE_INPOUT") == "closed" ? FALSE : TRUE;
}

__declspec(dllexport) short __stdcall Inp32(short address) {
    return Port().ReadPort(static_cast<std::uint16_t>(address));
}

__declspec(dllexport) void __stdcall Out32(short address, short value) {
    Port().WritePort(static_cast<std::uint16_t>(address), static_cast<std::uint8_t>(value));
}
}
