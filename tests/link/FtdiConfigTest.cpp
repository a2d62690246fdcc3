// VELMO_FTDI as users write it, and where the pins come to lie for each drive.
#include <gtest/gtest.h>

#include "link/ftdi/FtdiConfig.h"

namespace velmo {
namespace {

TEST(FtdiConfig, ParsesWhatItKnowsAndNamesTheItemItRefuses) {
    struct Case {
        const char* text;
        const char* error;  // nullptr: accepted
    };
    const Case cases[] = {
        {"", nullptr},
        {" serial = A10K3X2Q , interface=b ,", nullptr},
        {"rst=!4,enable=-,ready=-", nullptr},
        {"miso=1/3/!5", nullptr},
        {"device=d:1/5", nullptr},
        {"device=i:0403:6014", nullptr},
        {"device=I:0x0403:0x6001:2", nullptr},
        {"device=s:0403:6001:A10K3X2Q", nullptr},
        {"serial", "VELMO_FTDI: \"serial\" hat keinen Wert (Form: name=wert)"},
        {"serial=", "\"serial=\" nennt keine Seriennummer"},
        {"speed=3",
         "unbekannter Name \"speed\" in \"speed=3\" (bekannt: serial, device, "
         "interface, mosi, sck, rst, enable, miso, ready)"},
        {"interface=E", "\"interface=E\" ist keine Schnittstelle"},
        {"rst=8", "\"rst=8\" ist keine Pinnummer"},
        {"rst=-", "RST wird immer gebraucht"},
        {"miso=1/3/5/6/7/2", "ist keine Liste von MISO-Pins"},
        {"device=x:1", "ist keine Geräteangabe"},
        {"device=d:1", "ist keine Geräteangabe"},
        {"device=i:0403", "ist keine Geräteangabe"},
        {"device=i:403g:6014", "ist keine Geräteangabe"},
        {"device=s:0403:6001:", "ist keine Geräteangabe"},
        {"rst=3,enable=3", "RST und ENABLE liegen beide auf Pin 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const std::optional<FtdiConfig> config = ParseFtdiConfig(c.text, &error);
        EXPECT_EQ(config.has_value(), c.error == nullptr) << error;
        if (c.error) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
    }
}

TEST(FtdiConfig, PinsFollowTheDriveUnlessTheUserPlacesThem) {
    struct Case {
        const char* text;
        FtdiDrive drive;
        unsigned sockets;
        const char* pins;  // nullptr where the pins are refused, then error
        const char* error;
    };
    const Case cases[] = {
        {"", FtdiDrive::Mpsse, 1,
         "MOSI ADBUS1, SCK ADBUS0, RST ADBUS3, ENABLE ADBUS4, MISO ADBUS2, READY ADBUS5", nullptr},
        {"", FtdiDrive::SyncBitBang, 1,
         "MOSI D2 (RTS), SCK D0 (TXD), RST D4 (DTR), ENABLE D3 (CTS), MISO D1 (RXD), READY D5 "
         "(DSR)",
         nullptr},
        {"sck=!0,rst=7,ready=-", FtdiDrive::Mpsse, 1,
         "MOSI ADBUS1, SCK !ADBUS0, RST ADBUS7, ENABLE ADBUS4, MISO ADBUS2", nullptr},
        {"", FtdiDrive::SyncBitBang, 3,
         "MOSI D2 (RTS), SCK D0 (TXD), RST D4 (DTR), MISO D1 (RXD), MISO2 D3 (CTS), MISO3 D5 (DSR)",
         nullptr},
        {"miso=1/6/7", FtdiDrive::SyncBitBang, 3,
         "MOSI D2 (RTS), SCK D0 (TXD), RST D4 (DTR), ENABLE D3 (CTS), MISO D1 (RXD), READY D5 "
         "(DSR), MISO2 D6 (DCD), MISO3 D7 (RI)",
         nullptr},
        {"mosi=3", FtdiDrive::Mpsse, 1, nullptr, "fest auf ADBUS0, ADBUS1 und ADBUS2"},
        {"", FtdiDrive::Mpsse, 2, nullptr, "Mehrere Sockel (--sockets) gehen nur"},
        {"enable=3", FtdiDrive::SyncBitBang, 2, nullptr, "ENABLE und MISO2 liegen beide auf Pin 3"},
        {"miso=1", FtdiDrive::SyncBitBang, 2, nullptr,
         "VELMO_FTDI nennt mit miso= 1 MISO-Pin, für 2 Sockel braucht es einen je Sockel"},
        {"", FtdiDrive::SyncBitBang, 6, nullptr, "also höchstens 5 Sockel"},
        {"mosi=1", FtdiDrive::SyncBitBang, 1, nullptr, "MOSI und MISO liegen beide auf Pin 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const std::optional<FtdiPins> pins =
            ResolveFtdiPins(*ParseFtdiConfig(c.text, nullptr), c.drive, c.sockets, &error);
        ASSERT_EQ(pins.has_value(), c.pins != nullptr) << error;
        if (pins) {
            EXPECT_EQ(DescribeFtdiPins(*pins, c.drive), c.pins);
        } else {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
    }
}

}  // namespace
}  // namespace velmo
