// Loading a file into the programmer and saving what was read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "FakeRig.h"
#include "support/TempDir.h"
#include "image/Crc16.h"

namespace velmo::testing {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;


std::string Bytes(std::size_t count, char first = 0) {
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) bytes.push_back(static_cast<char>(first + i));
    return bytes;
}

std::uint16_t CrcOf(const FlashImage& image) {
    CCrc16 crc;
    crc.BuildTable();
    return crc.Compute(image.data(), static_cast<std::uint16_t>(image.size()));
}

TEST(FileCommands, LoadAppliesEachOutcomeInTheWindowsOrder) {
    const std::string kOldName = "alt.bin";
    const std::string kOldCrc = "0x1234";
    const struct {
        const char* name;
        std::optional<std::string> content;  // none: the file does not exist
        bool loaded;
        Calls expected;  // "tip" stands for the tooltip with the file's path
    } cases[] = {
        {"small.bin",
         Bytes(100, 1),
         true,
         {"repaint", "tip", "status:Datei erfolgreich geöffnet!", "membersToControls",
          "membersToControls", "repaint"}},
        {"full.bin",
         Bytes(12288, 7),
         true,
         {"repaint", "tip", "status:Datei erfolgreich geöffnet!", "membersToControls",
          "membersToControls", "repaint"}},
        {"large.bin",
         Bytes(12289, 7),
         false,
         {"repaint", "tip", "status:Datei erfolgreich geöffnet!",
          "box:Datei ist größer als Flash-Speicher des Controllers!", "membersToControls",
          "repaint"}},
        // A HEX load keeps the status bar as it was.
        {"blink.hex",
         std::string(":0300000002003EBD\n:00000001FF\n"),
         true,
         {"repaint", "tip", "membersToControls", "membersToControls", "repaint"}},
        {"empty.hex",
         std::string(),
         true,
         {"repaint", "tip", "membersToControls", "membersToControls", "repaint"}},
        {"missing.bin",
         std::nullopt,
         false,
         {"status:Fehler beim Öffnen der Datei!", "membersToControls", "repaint"}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = c.content ? dir.Write(c.name, *c.content) : dir.Path(c.name);
        FakeRig rig;
        rig.programmer.m_strFileName = kOldName;
        rig.programmer.m_strCrc = kOldCrc;
        rig.programmer.m_imageCrc = 0x1234;
        rig.programmer.m_noFileLoaded = 0;  // an earlier load succeeded
        rig.programmer.m_image.fill(0x00);
        rig.programmer.LoadFile(path);

        Calls expected = c.expected;
        for (auto& call : expected) {
            if (call == "tip") call = "tip:" + path;
        }
        EXPECT_EQ(rig.host.Calls(), expected) << c.name;
        EXPECT_EQ(rig.programmer.m_noFileLoaded, c.loaded ? 0 : 1) << c.name;
        // Only the Open command sets the path.
        EXPECT_TRUE(rig.programmer.m_strFilePath.empty()) << c.name;

        FlashImage expectedImage = Filled(0xFF);
        if (c.loaded && std::string(c.name).ends_with(".bin")) {
            std::copy(c.content->begin(), c.content->end(), expectedImage.begin());
        }
        if (std::string(c.name) == "blink.hex") {
            expectedImage[0] = 0x02;
            expectedImage[1] = 0x00;
            expectedImage[2] = 0x3E;
        }
        EXPECT_EQ(rig.programmer.m_image, expectedImage) << c.name;
        if (c.loaded) {
            EXPECT_EQ(rig.programmer.m_strFileName, c.name);
            EXPECT_EQ(rig.programmer.m_imageCrc, CrcOf(expectedImage)) << c.name;
            EXPECT_EQ(rig.programmer.m_strCrc, FormatCrc(CrcOf(expectedImage))) << c.name;
        } else {
            EXPECT_EQ(rig.programmer.m_imageCrc, 0x1234) << c.name;
            EXPECT_EQ(rig.programmer.m_strCrc, kOldCrc) << c.name;
        }
    }
}

TEST(FileCommands, AnEmptyFileLoadsAsAnErasedImage) {
    TempDir dir;
    FakeRig rig;
    rig.programmer.LoadFile(dir.Write("leer.hex", ""));
    EXPECT_EQ(rig.programmer.m_strCrc, "0x80F8");
    EXPECT_EQ(rig.programmer.m_noFileLoaded, 0);
}

TEST(FileCommands, AFailedLoadKeepsProgramAndVerifyAway) {
    TempDir dir;
    FakeRig rig;
    rig.programmer.LoadFile(dir.Write("ok.bin", Bytes(10)));
    ASSERT_EQ(rig.programmer.m_noFileLoaded, 0);
    rig.programmer.LoadFile(dir.Path("fehlt.bin"));
    rig.host.Clear();
    rig.port.dataWrites.clear();

    rig.programmer.OnProgram();
    rig.programmer.OnVerify();
    EXPECT_EQ(rig.host.CallsWithoutLoop(), (Calls{"box:Bitte wählen Sie zuerst eine Datei aus!",
                                                  "box:Bitte wählen Sie zuerst eine Datei aus!"}));
}

TEST(FileCommands, SaveWritesTheReadImageAndReportsAFailure) {
    TempDir dir;
    FakeRig rig;
    rig.programmer.m_readImage.fill(0x5A);
    rig.programmer.m_readImage[12287] = 0x01;
    rig.programmer.m_image.fill(0x00);

    const std::string path = dir.Path("gelesen.bin");
    EXPECT_TRUE(rig.programmer.SaveReadImage(path));
    EXPECT_TRUE(rig.host.Calls().empty());
    std::ifstream in(path, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(written.size(), 12288u);
    EXPECT_TRUE(
        std::equal(written.begin(), written.end(), rig.programmer.m_readImage.begin(),
                   [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));

    EXPECT_FALSE(rig.programmer.SaveReadImage(dir.Path("kein/Ordner.bin")));
    EXPECT_EQ(rig.host.Calls(), Calls{"box:Fehler beim Erzeugen der Datei!"});
}

TEST(FileCommands, AReadChipSavedAndLoadedAgainShowsTheSameCrc) {
    TempDir dir;
    FakeRig rig(ProgrammerMode::Raw);
    rig.programmer.OnRead();
    const std::string shown = rig.programmer.m_strCrc;
    ASSERT_TRUE(rig.programmer.SaveReadImage(dir.Path("chip.bin")));
    rig.programmer.m_strCrc.clear();
    rig.programmer.LoadFile(dir.Path("chip.bin"));
    EXPECT_EQ(rig.programmer.m_strCrc, shown);
    EXPECT_EQ(rig.programmer.m_imageCrc, rig.programmer.m_readCrc);
}

}  // namespace
}  // namespace velmo::testing
