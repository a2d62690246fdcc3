// Loading a file into the window and saving what was read back: what the user sees after
// each kind of file, and what the programmer then holds.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <optional>
#include <string>

#include "image/Crc16.h"
#include "support/Images.h"
#include "support/TempDir.h"
#include "support/WindowRig.h"

using namespace velmo;
using velmo::testing::ImageOf;
using velmo::testing::ReadBytes;
using velmo::testing::TempDir;
using velmo::testing::WindowRig;

namespace {

std::string Bytes(std::size_t count, char first = 0) {
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) bytes.push_back(static_cast<char>(first + i));
    return bytes;
}

QString CrcText(const FlashImage& image) {
    CCrc16 crc;
    crc.BuildTable();
    return QString::fromStdString(
        FormatCrc(crc.Compute(image.data(), static_cast<std::uint16_t>(image.size()))));
}

const QString kStarted = QStringLiteral("DriverLinx I/O erfolgreich gestartet!");
const QString kOpened = QStringLiteral("Datei erfolgreich geöffnet!");
const QString kOpenFailed = QStringLiteral("Fehler beim Öffnen der Datei!");
const QString kTooLarge = QStringLiteral("Datei ist größer als Flash-Speicher des Controllers!");

TEST(FileCommands, EachKindOfFileShowsItsOutcome) {
    const std::string kEarlier = Bytes(10, 0x40);
    const struct {
        const char* name;
        std::optional<std::string> content;  // none: the file does not exist
        bool loaded;
        bool newName;    // label and tooltip show the new file
        QString status;  // the status bar afterwards
        QStringList boxes;
        std::optional<FlashImage> image;  // what the programmer then holds
    } cases[] = {
        {"small.bin", Bytes(100, 1), true, true, kOpened, {}, ImageOf(Bytes(100, 1))},
        {"full.bin", Bytes(12288, 7), true, true, kOpened, {}, ImageOf(Bytes(12288, 7))},
        {"large.bin", Bytes(12289, 7), false, true, kOpened, {kTooLarge}, ImageOf("")},
        // A HEX load keeps the status bar as it was.
        {"blink.hex",
         std::string(":0300000002003EBD\n:00000001FF\n"),
         true,
         true,
         kStarted,
         {},
         ImageOf(std::string("\x02\x00\x3E", 3))},
        {"beyond.hex",
         std::string(":0400000012345678E8\n:02300000AA55CF\n"),
         false,
         true,
         kStarted,
         {kTooLarge},
         ImageOf("")},
        {"empty.hex", std::string(), true, true, kStarted, {}, ImageOf("")},
        {"missing.bin", std::nullopt, false, false, kOpenFailed, {}, ImageOf("")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        WindowRig rig;
        rig->OnInitDialog();
        const std::string earlier = dir.Write("earlier.bin", kEarlier);
        rig->LoadFile(earlier);
        ASSERT_EQ(rig->Core().m_noFileLoaded, 0);
        // Ticked after the last data exchange: a load puts the box back to its member.
        rig->LockBitBox(1)->setChecked(true);
        rig->SetStatusText("DriverLinx I/O erfolgreich gestartet!");

        const std::string path = c.content ? dir.Write(c.name, *c.content) : dir.Path(c.name);
        rig->LoadFile(path);

        EXPECT_EQ(rig->Core().m_noFileLoaded, c.loaded ? 0 : 1);
        EXPECT_EQ(rig->FileLabel()->text(), QString::fromUtf8(c.newName ? c.name : "earlier.bin"));
        EXPECT_EQ(rig->FileLabel()->toolTip(), QString::fromStdString(c.newName ? path : earlier));
        EXPECT_EQ(rig->StatusText(), c.status);
        EXPECT_EQ(rig.messages, c.boxes);
        // The CRC field shows the new image only when it loaded.
        EXPECT_EQ(rig->CrcField()->text(), CrcText(c.loaded ? *c.image : ImageOf(kEarlier)));
        EXPECT_EQ(rig->Core().m_image, *c.image);
        EXPECT_FALSE(rig->LockBitBox(1)->isChecked());
        // Only the Open command sets the path.
        EXPECT_TRUE(rig->FilePath().empty());
    }
}

TEST(FileCommands, AFailedLoadKeepsProgramAndVerifyAway) {
    TempDir dir;
    WindowRig rig;
    rig->OnInitDialog();
    rig->LoadFile(dir.Write("ok.bin", Bytes(10)));
    ASSERT_EQ(rig->Core().m_noFileLoaded, 0);
    rig->LoadFile(dir.Path("fehlt.bin"));
    const std::uint64_t instructions = rig.Chip().InstructionCount();

    EXPECT_EQ(rig->OnProgram(), ProgramOutcome::NoImage);
    rig->OnVerify();
    EXPECT_EQ(rig.messages,
              QStringList(2, QStringLiteral("Bitte wählen Sie zuerst eine Datei aus!")));
    // Verify starts the board before it looks; Program looks first and leaves the chip alone.
    EXPECT_EQ(rig.Chip().InstructionCount(), instructions);
}

TEST(FileCommands, SaveWritesTheReadImageAndReportsAFailure) {
    TempDir dir;
    WindowRig rig;
    rig->OnInitDialog();
    FlashImage chip;
    chip.fill(0x5A);
    chip[12287] = 0x01;
    rig.Chip().SetFlash(chip);
    rig->OnRead();

    const std::string path = dir.Path("gelesen.bin");
    rig->SetSaveFileChooser([&] { return QString::fromStdString(path); });
    rig->OnFileSaveAs();
    EXPECT_TRUE(rig.messages.isEmpty());
    EXPECT_EQ(ReadBytes(path), std::string(chip.begin(), chip.end()));

    rig->SetSaveFileChooser([&] { return QString::fromStdString(dir.Path("kein/Ordner.bin")); });
    rig->OnFileSaveAs();
    EXPECT_EQ(rig.messages, QStringList{QStringLiteral("Fehler beim Erzeugen der Datei!")});
}

TEST(FileCommands, AReadChipSavedAndLoadedAgainShowsTheSameCrc) {
    TempDir dir;
    WindowRig rig;
    rig->OnInitDialog();
    rig->OnRead();
    const QString shown = rig->CrcField()->text();
    EXPECT_EQ(shown, QStringLiteral("0x80F8"));
    const std::string path = dir.Path("chip.bin");
    rig->SetSaveFileChooser([&] { return QString::fromStdString(path); });
    rig->OnFileSaveAs();
    rig->LoadFile(path);
    EXPECT_EQ(rig->CrcField()->text(), shown);
    EXPECT_EQ(rig->Core().m_imageCrc, rig->Core().m_readCrc);
}

}  // namespace
