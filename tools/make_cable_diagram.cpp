// Draws the diagram of the programming cable that the interface dialog shows and writes it as
// an 8-bit Windows bitmap with a 16-colour table:
//     make_cable_diagram OUTPUT.bmp
// Plain C++ with its own pixel font, so every build writes the same bytes, with or without a
// display and whatever fonts the machine has.

#include "PixelFont.h"
#include "port/Cable.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kWidth = 518;
constexpr int kHeight = 236;

enum Colour : std::uint8_t {
    kWhite,
    kBlack,
    kConnectorFill,
    kBoardFill,
    kChipBody,
    kPinGrey,
    kMosiWire,
    kSckWire,
    kRstWire,
    kEnableWire,
    kMisoWire,
    kReadyWire,
    kGroundWire,
    kTitle,
    kFrame,
};

struct Rgb {
    std::uint8_t r, g, b;
};

constexpr Rgb kPalette[16] = {
    {255, 255, 255},  // white background
    {0, 0, 0},        // text and outlines
    {226, 234, 246},  // the PC's connector
    {250, 244, 214},  // the programming board
    {56, 56, 56},     // the chip's body
    {150, 150, 150},  // unused chip pins
    {204, 32, 32},    // MOSI
    {32, 72, 204},    // SCK
    {224, 120, 0},    // RST
    {144, 48, 168},   // ENABLE
    {24, 140, 48},    // MISO
    {0, 136, 148},    // READY
    {40, 40, 40},     // ground
    {16, 40, 96},     // title
    {96, 96, 96},     // frames
    {255, 255, 255},
};

class Canvas {
  public:
    Canvas() : m_pixels(kWidth * kHeight, kWhite) {}

    void Set(int x, int y, Colour c) {
        if (x >= 0 && y >= 0 && x < kWidth && y < kHeight) {
            m_pixels[static_cast<std::size_t>(y) * kWidth + x] = c;
        }
    }
    void Fill(int x0, int y0, int x1, int y1, Colour c) {
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                Set(x, y, c);
            }
        }
    }
    void Frame(int x0, int y0, int x1, int y1, Colour c) {
        Fill(x0, y0, x1, y0, c);
        Fill(x0, y1, x1, y1, c);
        Fill(x0, y0, x0, y1, c);
        Fill(x1, y0, x1, y1, c);
    }
    // A wire two pixels wide along y (the centre line) from x0 to x1.
    void HWire(int x0, int x1, int y, Colour c) {
        Fill(std::min(x0, x1), y, std::max(x0, x1), y + 1, c);
    }
    void VWire(int x, int y0, int y1, Colour c) {
        Fill(x, std::min(y0, y1), x + 1, std::max(y0, y1) + 1, c);
    }
    // Where a wire passes over another one, the lower one stops short on both sides, so the
    // crossing does not read as a connection. background is the colour around the crossing.
    void CrossingGap(int x, int y, Colour background) {
        Fill(x - 3, y - 3, x + 4, y + 4, background);
    }
    void Dot(int x, int y, Colour c) { Fill(x - 2, y - 2, x + 3, y + 3, c); }

    // Text with its top-left corner at (x, y); false for a character the font lacks.
    bool Text(int x, int y, std::string_view text, Colour c, bool bold = false) {
        for (char ch : text) {
            const pixelfont::Glyph* g = pixelfont::Find(ch);
            if (!g) {
                std::fprintf(stderr, "make_cable_diagram: no glyph for '%c'\n", ch);
                return false;
            }
            for (int row = 0; row < pixelfont::kGlyphHeight; ++row) {
                for (int col = 0; col < pixelfont::kGlyphWidth; ++col) {
                    if (g->rows[row][col] == '#') {
                        Set(x + col, y + row, c);
                        if (bold) {
                            Set(x + col + 1, y + row, c);
                        }
                    }
                }
            }
            x += pixelfont::kAdvance + (bold ? 1 : 0);
        }
        return true;
    }
    static int TextWidth(std::string_view text) {
        return static_cast<int>(text.size()) * pixelfont::kAdvance - 1;
    }

    bool WriteBmp(const std::string& path) const {
        const std::uint32_t rowBytes = (kWidth + 3) / 4 * 4;
        const std::uint32_t tableBytes = 16 * 4;
        const std::uint32_t pixelStart = 14 + 40 + tableBytes;
        const std::uint32_t fileSize = pixelStart + rowBytes * kHeight;
        std::vector<std::uint8_t> out;
        auto u16 = [&out](std::uint32_t v) {
            out.push_back(static_cast<std::uint8_t>(v));
            out.push_back(static_cast<std::uint8_t>(v >> 8));
        };
        auto u32 = [&u16](std::uint32_t v) {
            u16(v & 0xFFFF);
            u16(v >> 16);
        };
        out.push_back('B');
        out.push_back('M');
        u32(fileSize);
        u32(0);
        u32(pixelStart);
        u32(40);
        u32(kWidth);
        u32(kHeight);  // positive: rows from the bottom
        u16(1);
        u16(8);
        u32(0);
        u32(rowBytes * kHeight);
        u32(2835);  // 72 dpi
        u32(2835);
        u32(16);
        u32(0);
        for (const Rgb& c : kPalette) {
            out.push_back(c.b);
            out.push_back(c.g);
            out.push_back(c.r);
            out.push_back(0);
        }
        for (int y = kHeight - 1; y >= 0; --y) {
            const auto* row = m_pixels.data() + static_cast<std::size_t>(y) * kWidth;
            out.insert(out.end(), row, row + kWidth);
            out.insert(out.end(), rowBytes - kWidth, 0);
        }
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(out.data()),
                   static_cast<std::streamsize>(out.size()));
        return static_cast<bool>(file);
    }

  private:
    std::vector<std::uint8_t> m_pixels;
};

// The connector's rows and the chip's pins are placed so that RST and ground run straight.
constexpr int kConnectorLeft = 6;
constexpr int kConnectorRight = 150;
constexpr int kBottom = 232;
constexpr int kBoardLeft = 280;
constexpr int kBoardRight = 512;
constexpr int kChipPinEnd = 400;
constexpr int kChipLeft = 410;
constexpr int kChipRight = 490;
constexpr int kPinColumn = 14;
constexpr int kSignalColumn = 48;
constexpr int kBitColumn = 114;
constexpr int kBoardText = 288;
constexpr int kFirstPinY = 46;
constexpr int kPinPitch = 9;

constexpr int PinY(int pin) {
    return pin <= 20 ? kFirstPinY + (pin - 1) * kPinPitch : kFirstPinY + (40 - pin) * kPinPitch;
}

// Where a wire's row lies on the drawing and its colour; what it connects comes from the
// cable table.
struct Line {
    std::string connectorPin;
    std::string name;
    std::string registerBit;  // "D0": data bit 0, "S5": status bit 5
    int rowY;
    Colour colour;
    int chipPin;  // 0: ends on the board
};

Line FromCable(velmo::IspLine line, int rowY, Colour colour) {
    const velmo::CableLine& wire = velmo::CableOf(line);
    const velmo::ConnectorPin pin = velmo::PinOf(line);
    const char reg = pin.reg == velmo::PortRegister::Data     ? 'D'
                     : pin.reg == velmo::PortRegister::Status ? 'S'
                                                              : 'C';
    return {std::to_string(wire.connectorPin),
            wire.name,
            std::string(1, reg) + std::to_string(pin.bit),
            rowY,
            colour,
            wire.chipPin};
}

const Line kMosi = FromCable(velmo::IspLine::Mosi, 70, kMosiWire);
const Line kSck = FromCable(velmo::IspLine::Sck, 94, kSckWire);
const Line kRst =
    FromCable(velmo::IspLine::Rst, PinY(velmo::CableOf(velmo::IspLine::Rst).chipPin), kRstWire);
const Line kEnable = FromCable(velmo::IspLine::Enable, 142, kEnableWire);
const Line kMiso = FromCable(velmo::IspLine::Miso, 166, kMisoWire);
const Line kReady = FromCable(velmo::IspLine::Ready, 190, kReadyWire);
const Line kGnd{
    "18-25", "GND", "", PinY(velmo::kChipGroundPin), kGroundWire, velmo::kChipGroundPin};

bool DrawConnector(Canvas& c) {
    c.Fill(kConnectorLeft, 24, kConnectorRight, kBottom, kConnectorFill);
    c.Frame(kConnectorLeft, 24, kConnectorRight, kBottom, kFrame);
    bool ok = c.Text(kPinColumn, 30, "PC-Stecker", kBlack, true);
    ok = ok && c.Text(kPinColumn, 42, "SUB-D 25 (LPT)", kBlack);
    c.Fill(kConnectorLeft, 54, kConnectorRight, 54, kFrame);
    ok = ok && c.Text(kPinColumn, 57, "Pin", kFrame) &&
         c.Text(kSignalColumn, 57, "Signal", kFrame) && c.Text(kBitColumn, 57, "Bit", kFrame);
    for (const Line& l : {kMosi, kSck, kRst, kEnable, kMiso, kReady, kGnd}) {
        ok = ok && c.Text(kPinColumn, l.rowY - 3, l.connectorPin, kBlack) &&
             c.Text(kSignalColumn, l.rowY - 3, l.name, l.colour, true) &&
             c.Text(kBitColumn, l.rowY - 3, l.registerBit, kBlack);
    }
    return ok;
}

bool DrawBoardAndChip(Canvas& c) {
    c.Fill(kBoardLeft, 24, kBoardRight, kBottom, kBoardFill);
    c.Frame(kBoardLeft, 24, kBoardRight, kBottom, kFrame);
    bool ok = c.Text(kBoardText, 30, "Velmo-Board", kBlack);

    // The chip: a 40-pin DIP seen from above, pin 1 at the top left, its notch at the top.
    const int top = PinY(1) - 6;
    const int bottom = PinY(20) + 6;
    for (int pin = 1; pin <= 40; ++pin) {
        const int y = PinY(pin);
        if (pin <= 20) {
            c.Fill(kChipPinEnd, y, kChipLeft - 1, y + 1, kPinGrey);
        } else {
            c.Fill(kChipRight + 1, y, kChipRight + 10, y + 1, kPinGrey);
        }
    }
    c.Fill(kChipLeft, top, kChipRight, bottom, kChipBody);
    c.Fill((kChipLeft + kChipRight) / 2 - 5, top, (kChipLeft + kChipRight) / 2 + 5, top + 3,
           kBoardFill);
    c.Fill(kChipLeft + 3, top + 3, kChipLeft + 4, top + 4, kWhite);  // the pin-1 mark
    const char* name = "AT89S53";
    ok = ok && c.Text((kChipLeft + kChipRight - Canvas::TextWidth(name)) / 2, 150, name, kWhite);
    ok = ok &&
         c.Text((kChipLeft + kChipRight - Canvas::TextWidth("DIP 40")) / 2, 162, "DIP 40", kWhite);
    struct PinLabel {
        int pin;
        const char* number;
        const char* name;
    };
    for (const PinLabel& p :
         {PinLabel{6, "6", "P1.5"}, PinLabel{7, "7", "P1.6"}, PinLabel{8, "8", "P1.7"},
          PinLabel{9, "9", "RST"}, PinLabel{20, "20", "GND"}}) {
        const int y = PinY(p.pin) - 3;
        ok = ok && c.Text(kChipLeft + 16 - Canvas::TextWidth(p.number), y, p.number, kWhite) &&
             c.Text(kChipLeft + 22, y, p.name, kWhite);
    }
    ok = ok && c.Text(kChipRight - 3 - Canvas::TextWidth("VCC"), PinY(40) - 3, "VCC", kWhite);
    ok = ok && c.Text(kBoardText, kEnable.rowY - 3, "Enable", kEnableWire) &&
         c.Text(kBoardText, kReady.rowY - 3, "Ready", kReadyWire);
    ok = ok && c.Text(kBoardText, 204, "Quarz 3-24 MHz", kBlack);
    return ok;
}

void DrawWires(Canvas& c) {
    // Each wire leaves the connector, turns in its own column and runs to its pin. MISO has
    // to cross SCK and RST: it changes sides with them between connector and chip.
    constexpr int kSckColumn = 334;
    constexpr int kMisoColumn = 356;
    constexpr int kMosiColumn = 378;

    c.HWire(kConnectorRight, kChipPinEnd, kRst.rowY, kRst.colour);
    c.HWire(kConnectorRight, kChipPinEnd, kGnd.rowY, kGnd.colour);
    c.HWire(kConnectorRight, kBoardLeft, kEnable.rowY, kEnable.colour);
    c.HWire(kConnectorRight, kBoardLeft, kReady.rowY, kReady.colour);

    c.HWire(kConnectorRight, kMosiColumn, kMosi.rowY, kMosi.colour);
    c.VWire(kMosiColumn, kMosi.rowY, PinY(kMosi.chipPin), kMosi.colour);
    c.HWire(kMosiColumn, kChipPinEnd, PinY(kMosi.chipPin), kMosi.colour);

    c.HWire(kConnectorRight, kSckColumn, kSck.rowY, kSck.colour);
    c.VWire(kSckColumn, kSck.rowY, PinY(kSck.chipPin), kSck.colour);
    c.HWire(kSckColumn, kChipPinEnd, PinY(kSck.chipPin), kSck.colour);

    c.CrossingGap(kMisoColumn, kRst.rowY, kBoardFill);
    c.CrossingGap(kMisoColumn, PinY(kSck.chipPin), kBoardFill);
    c.HWire(kConnectorRight, kMisoColumn, kMiso.rowY, kMiso.colour);
    c.VWire(kMisoColumn, kMiso.rowY, PinY(kMiso.chipPin), kMiso.colour);
    c.HWire(kMisoColumn, kChipPinEnd, PinY(kMiso.chipPin), kMiso.colour);

    for (const Line& l : {kMosi, kSck, kRst, kEnable, kMiso, kReady, kGnd}) {
        c.Dot(kConnectorRight, l.rowY, l.colour);
    }
    c.Dot(kBoardLeft, kEnable.rowY, kEnable.colour);
    c.Dot(kBoardLeft, kReady.rowY, kReady.colour);
    c.Dot(kChipPinEnd, PinY(kMosi.chipPin), kMosi.colour);
    c.Dot(kChipPinEnd, PinY(kMiso.chipPin), kMiso.colour);
    c.Dot(kChipPinEnd, PinY(kSck.chipPin), kSck.colour);
    c.Dot(kChipPinEnd, PinY(kRst.chipPin), kRst.colour);
    c.Dot(kChipPinEnd, PinY(kGnd.chipPin), kGnd.colour);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.bmp\n", argv[0]);
        return 2;
    }
    Canvas canvas;
    bool ok = canvas.Text(kConnectorLeft, 8, "Programmierkabel: PC-Parallelport (LPT) --> AT89S53",
                          kTitle);
    ok = ok && DrawConnector(canvas) && DrawBoardAndChip(canvas);
    DrawWires(canvas);
    if (!ok) {
        return 1;
    }
    if (!canvas.WriteBmp(argv[1])) {
        std::fprintf(stderr, "make_cable_diagram: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
