// The InpOut backend on a fake library: what a user is told when the library or its driver is
// missing, that only the port's three registers are touched, and that two runs on one port
// take turns.
#include "port/windows/InpOutPort.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

namespace velmo {
namespace {

struct FakeInpOut : InpOutSystem {
    InpOutLibrary Load() override { return library; }
    void Unload() override {}
    bool DriverOpen() override { return driverOpen; }
    std::uint8_t Inp(std::uint16_t address) override { return registers[address]; }
    void Out(std::uint16_t address, std::uint8_t value) override { registers[address] = value; }
    std::string ProgramFolder() override { return "C:\\Werkzeuge\\Velmo"; }

    InpOutLibrary library{true, "C:\\Werkzeuge\\Velmo\\inpoutx64.dll", ""};
    bool driverOpen = true;
    std::map<std::uint16_t, std::uint8_t> registers;
};

std::unique_ptr<InpOutPort> MakePort(FakeInpOut*& fake, const volatile std::sig_atomic_t* stop) {
    auto system = std::make_unique<FakeInpOut>();
    fake = system.get();
    return std::make_unique<InpOutPort>(std::move(system), stop);
}

TEST(InpOutPort, AStartWithoutLibraryOrDriverSaysWhatToDo) {
    struct Row {
        const char* name;
        InpOutLibrary library;
        bool driverOpen;
        std::vector<std::string> says;
    };
    const Row rows[] = {
        {"no library",
         {false, "", ""},
         true,
         {"inpoutx64.dll wurde nicht gefunden", "C:\\Werkzeuge\\Velmo", "PATH"}},
        {"another library of that name",
         {false, "C:\\x\\inpoutx64.dll", "Out32"},
         true,
         {"C:\\x\\inpoutx64.dll ist keine InpOut-Bibliothek", "Out32"}},
        {"driver not installed",
         {true, "C:\\x\\inpoutx64.dll", ""},
         false,
         {"Treiber ist nicht geöffnet", "Administrator"}},
        {"ready",
         {true, "C:\\x\\inpoutx64.dll", ""},
         true,
         {"InpOut: Parallelport an Adresse 0x278 (C:\\x\\inpoutx64.dll)"}},
    };
    const std::sig_atomic_t noStop = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeInpOut* fake = nullptr;
        auto port = MakePort(fake, &noStop);
        fake->library = row.library;
        fake->driverOpen = row.driverOpen;
        port->SetBaseAddress(0x278);
        port->StartDriver();
        EXPECT_EQ(port->DriverActive(), std::string(row.name) == "ready");
        for (const std::string& part : row.says) {
            EXPECT_NE(port->DriverMessage().find(part), std::string::npos) << port->DriverMessage();
        }
    }
}

TEST(InpOutPort, TouchesOnlyItsThreeRegistersWhileItRuns) {
    const std::sig_atomic_t noStop = 0;
    FakeInpOut* fake = nullptr;
    auto port = MakePort(fake, &noStop);
    port->SetBaseAddress(0xD010);  // a PCI Express card's port
    port->WritePort(0xD010, 0x0F);
    EXPECT_TRUE(fake->registers.empty()) << "not started";
    port->StartDriver();
    fake->registers[0xD011] = 0x78;
    port->WritePort(0xD010, 0x05);
    port->WritePort(0xD013, 0x01);
    port->WritePort(0x0378, 0x01);
    EXPECT_EQ(port->ReadPort(0xD011), 0x78);
    EXPECT_EQ(fake->registers,
              (std::map<std::uint16_t, std::uint8_t>{{0xD010, 0x05}, {0xD011, 0x78}}));
    port->StopDriver();
    EXPECT_EQ(port->ReadPort(0xD011), 0);
}

TEST(InpOutPort, TwoRunsOnOnePortTakeTurns) {
    const std::sig_atomic_t noStop = 0;
    FakeInpOut* fake = nullptr;
    auto first = MakePort(fake, &noStop);
    first->SetBaseAddress(0x3BC);
    first->StartDriver();
    ASSERT_TRUE(first->DriverActive());

    // A second run waits for the first; a stop signal ends its waiting with the reason.
    volatile std::sig_atomic_t stop = 0;
    std::atomic<bool> done = false;
    std::string waited;
    std::thread second([&] {
        FakeInpOut* other = nullptr;
        auto port = MakePort(other, &stop);
        port->SetBaseAddress(0x3BC);
        port->StartDriver();
        waited = port->DriverActive() ? "started" : port->DriverMessage();
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(done) << "the second run did not wait";
    stop = 2;
    second.join();
    EXPECT_NE(waited.find("0x3BC wird von einem anderen Lauf benutzt"), std::string::npos)
        << waited;

    // Once the first has stopped, the next one starts at once; another port never waited.
    first->StopDriver();
    std::thread third([&] {
        FakeInpOut* other = nullptr;
        auto port = MakePort(other, &noStop);
        port->SetBaseAddress(0x3BC);
        port->StartDriver();
        EXPECT_TRUE(port->DriverActive());
        port->SetBaseAddress(0x278);
        EXPECT_TRUE(port->DriverActive());
    });
    third.join();
}

}  // namespace
}  // namespace velmo
