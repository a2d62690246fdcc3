// Pins of the connector on the port's registers, through a port that logs every access.
#include <gtest/gtest.h>

#include "port/Pins.h"
#include "support/FakePort.h"

namespace velmo {
namespace {

using testing::FakePort;

struct PinRow {
    unsigned pin;
    int offset;  // 0 data, 1 status, 2 control
    std::uint8_t mask;
    bool inverted;
    bool output;
};

// The connector as the standard port wires it.
const PinRow kPinTable[] = {
    {1, 2, 0x01, true, true},    {2, 0, 0x01, false, true},  {3, 0, 0x02, false, true},
    {4, 0, 0x04, false, true},   {5, 0, 0x08, false, true},  {6, 0, 0x10, false, true},
    {7, 0, 0x20, false, true},   {8, 0, 0x40, false, true},  {9, 0, 0x80, false, true},
    {10, 1, 0x40, false, false}, {11, 1, 0x80, true, false}, {12, 1, 0x20, false, false},
    {13, 1, 0x10, false, false}, {14, 2, 0x02, true, true},  {15, 1, 0x08, false, false},
    {16, 2, 0x04, false, true},  {17, 2, 0x08, true, true},
};

std::uint8_t& Register(FakePort& port, int offset) {
    return offset == 0 ? port.data : offset == 1 ? port.status : port.control;
}

TEST(Pins, SetPinReadsModifiesAndWritesTheOneBit) {
    for (std::uint16_t base : {std::uint16_t{0x378}, std::uint16_t{0x278}}) {
        for (const PinRow& row : kPinTable) {
            if (!row.output) {
                continue;
            }
            for (unsigned level : {1u, 0u}) {
                for (std::uint8_t before :
                     {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0xA5}}) {
                    SCOPED_TRACE(::testing::Message()
                                 << "base " << base << " pin " << row.pin << " level " << level
                                 << " before " << +before);
                    FakePort port;
                    port.SetBaseAddress(base);
                    Register(port, row.offset) = before;
                    SetPin(port, row.pin, level);

                    const bool setBit = (level == 1) != row.inverted;
                    const std::uint8_t expected =
                        setBit ? (before | row.mask) : (before & ~row.mask);
                    const auto address = static_cast<std::uint16_t>(base + row.offset);
                    ASSERT_EQ(port.log.size(), 2u);
                    EXPECT_FALSE(port.log[0].write);
                    EXPECT_EQ(port.log[0].address, address);
                    EXPECT_TRUE(port.log[1].write);
                    EXPECT_EQ(port.log[1].address, address);
                    EXPECT_EQ(port.log[1].value, expected);
                }
            }
        }
    }
}

TEST(Pins, GetPinReadsOnceAndFoldsTheInversionIn) {
    for (const PinRow& row : kPinTable) {
        for (bool bitSet : {true, false}) {
            SCOPED_TRACE(::testing::Message() << "pin " << row.pin << " bit " << bitSet);
            FakePort port;
            // Every other bit of the register opposite, so a wrong bit shows.
            Register(port, row.offset) = bitSet ? row.mask : static_cast<std::uint8_t>(~row.mask);
            EXPECT_EQ(GetPin(port, row.pin), bitSet != row.inverted ? 1 : 0);
            ASSERT_EQ(port.log.size(), 1u);
            EXPECT_FALSE(port.log[0].write);
            EXPECT_EQ(port.log[0].address, 0x378 + row.offset);
        }
    }
}

TEST(Pins, InputAndUnknownPinsCauseNoAccess) {
    const unsigned setPins[] = {0, 10, 11, 12, 13, 15, 18, 20, 25, 26, 255};
    for (unsigned pin : setPins) {
        FakePort port;
        SetPin(port, pin, 1);
        SetPin(port, pin, 0);
        EXPECT_TRUE(port.log.empty()) << "SetPin " << pin;
    }
    const unsigned getPins[] = {0, 18, 20, 25, 26, 255};
    for (unsigned pin : getPins) {
        FakePort port;
        port.data = port.status = port.control = 0xFF;
        EXPECT_EQ(GetPin(port, pin), 0) << "GetPin " << pin;
        EXPECT_TRUE(port.log.empty()) << "GetPin " << pin;
    }
}

TEST(Pins, OnlyTheLowEightBitsOfPinAndLevelCount) {
    struct Case {
        unsigned pin;
        unsigned level;
        std::uint8_t dataAfter;
    };
    const Case cases[] = {
        {3, 2, 0x02},      // any nonzero level is high
        {3, 0xFF, 0x02},   //
        {3, 0x100, 0x00},  // 0x100 has a zero low byte: low
        {0x103, 1, 0x02},  // pin 0x103 is pin 3
        {0x204, 7, 0x04},  // pin 0x204 is pin 4
        {0x100, 1, 0x00},  // pin 0x100 is pin 0: nothing
    };
    for (const Case& c : cases) {
        FakePort port;
        SetPin(port, c.pin, c.level);
        EXPECT_EQ(port.data, c.dataAfter) << "pin " << c.pin << " level " << c.level;
    }
    FakePort port;
    port.status = 0x20;
    EXPECT_EQ(GetPin(port, 0x10C), 1);  // pin 12
}

TEST(Pins, KnownEdgeCases) {
    FakePort port;
    port.control = 0x0F;
    SetPin(port, 1, 1);  // inverted: level 1 clears bit 0
    EXPECT_EQ(port.control, 0x0E);
    SetPin(port, 16, 1);  // not inverted: level 1 sets bit 2
    port.control = 0x00;
    SetPin(port, 16, 1);
    EXPECT_EQ(port.control, 0x04);

    // An output pin reads back its latched bit.
    SetPin(port, 4, 1);
    EXPECT_EQ(GetPin(port, 4), 1);
    SetPin(port, 4, 0);
    EXPECT_EQ(GetPin(port, 4), 0);

    // The named lines sit on the pins the cable uses.
    FakePort lines;
    SetLine(lines, IspLine::Mosi, 1);
    SetLine(lines, IspLine::Sck, 1);
    SetLine(lines, IspLine::Rst, 1);
    SetLine(lines, IspLine::Enable, 1);
    EXPECT_EQ(lines.data, 0x0F);
    lines.status = 0x20;
    EXPECT_EQ(GetLine(lines, IspLine::Miso), 1);
    EXPECT_EQ(GetLine(lines, IspLine::Ready), 0);
    lines.status = 0x08;
    EXPECT_EQ(GetLine(lines, IspLine::Miso), 0);
    EXPECT_EQ(GetLine(lines, IspLine::Ready), 1);
}

}  // namespace
}  // namespace velmo
