// The window's files beyond plain ones: Save on pipes and devices (written in place, never
// replaced), the running line trace refused as an input, and a simulated chip whose file can
// no longer be written.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "link/BitBangLink.h"
#include "port/TracePort.h"
#include "sim/SimPort.h"
#include "support/FileKinds.h"
#include "support/TempDir.h"
#include "support/WindowRig.h"
#include "ui/MessageBox.h"

using namespace velmo;
using namespace velmo::testing;

namespace {

const QString kSaveFailed = QStringLiteral("Fehler beim Erzeugen der Datei!");
const QString kOpenFailed = QStringLiteral("Fehler beim Öffnen der Datei!");

void SaveTo(WindowRig& rig, const std::string& path) {
    rig->SetSaveFileChooser([path] { return QString::fromStdString(path); });
    rig->OnFileSaveAs();
}

TEST(FileTargets, SaveWritesPipesInPlaceAndRefusesOneWithoutAReader) {
    TempDir dir;
    WindowRig rig;
    rig->OnInitDialog();
    const std::string lonely = dir.Path("lonely.bin");
    ASSERT_TRUE(MakeFifo(lonely));
    SaveTo(rig, lonely);
    EXPECT_EQ(rig.messages, QStringList{kSaveFailed});
    EXPECT_TRUE(IsFifo(lonely));

    rig.messages.clear();
    const std::string pipe = dir.Path("read.bin");
    ASSERT_TRUE(MakeFifo(pipe));
    FifoReader reader(pipe);
    SaveTo(rig, pipe);
    EXPECT_TRUE(rig.messages.isEmpty()) << rig.messages.join('\n').toStdString();
    const FlashImage& image = rig->Core().m_readImage;
    EXPECT_EQ(reader.Take(), std::string(image.begin(), image.end()));
    EXPECT_TRUE(IsFifo(pipe));
}

TEST(FileTargets, SaveWritesACharacterDeviceInPlace) {
    TempDir dir;
    const std::string null = dir.Path("null.bin");
    const std::string full = dir.Path("full.bin");
    if (std::string why = MakeCharDevice(null, kMemMajor, kNullMinor); !why.empty()) {
        GTEST_SKIP() << why;
    }
    ASSERT_EQ(MakeCharDevice(full, kMemMajor, kFullMinor), "");
    WindowRig rig;
    rig->OnInitDialog();
    SaveTo(rig, null);
    EXPECT_TRUE(rig.messages.isEmpty()) << rig.messages.join('\n').toStdString();
    SaveTo(rig, full);
    EXPECT_EQ(rig.messages, QStringList{kSaveFailed});
    EXPECT_TRUE(IsCharDevice(null));
    EXPECT_TRUE(IsCharDevice(full));
}

TEST(FileTargets, TheRunningTraceIsRefusedLikeAnUnreadableFile) {
    TempDir dir;
    const std::string trace = dir.Path("lines.vcd");
    // An old dump at the trace's place, such as a user might pick in the Open dialog.
    dir.Write("lines.vcd", ":0400000012345678E8\n");
    QStringList messages;
    const ui::MessageSink previous = ui::SetMessageSink(
        [&messages](const QString&, const QString& text, ui::BoxIcon, ui::BoxKind) {
            messages << text;
            return true;
        });
    {
        VirtualClock clock;
        SimOptions options;
        options.virtualClock = true;
        TracePort port(std::make_unique<SimPort>(clock, options), clock, trace);
        BitBangLink link(port, clock);
        SideFiles files;
        files.Add(port);
        CProgrammerDlg dialog(link, clock, &files);
        dialog.SetProcessExit([](int) {});
        ASSERT_TRUE(dialog.OnInitDialog()) << port.DriverMessage();
        const std::string linked = dir.Path("link.vcd");
        ASSERT_EQ(::symlink(trace.c_str(), linked.c_str()), 0);
        for (const std::string& path : {trace, linked, dir.Path("./lines.vcd")}) {
            SCOPED_TRACE(path);
            dialog.SetStatusText("");
            dialog.LoadFile(path);
            EXPECT_EQ(dialog.StatusText(), kOpenFailed);
            EXPECT_EQ(dialog.Core().m_noFileLoaded, 1);
        }
        // Another file still loads.
        dialog.LoadFile(dir.Write("other.hex", ":0400000012345678E8\n"));
        EXPECT_EQ(dialog.Core().m_noFileLoaded, 0);
    }
    ui::SetMessageSink(previous);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST(FileTargets, AChipFileThatCanNoLongerBeWrittenIsShownOnce) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path("chips"));
    SimOptions options;
    options.chipFile = dir.Path("chips/chip.bin");
    WindowRig rig(options);
    ASSERT_TRUE(rig->OnInitDialog());
    // Its folder goes away while the window runs: nothing can be saved any more.
    std::filesystem::remove_all(dir.Path("chips"));
    rig->OnErase();
    const QString lost = QStringLiteral(
                             "Die Chip-Datei \"%1\" (VELMO_SIM_CHIP) kann nicht "
                             "geschrieben werden")
                             .arg(QString::fromStdString(options.chipFile));
    ASSERT_EQ(rig.messages.size(), 1);
    EXPECT_TRUE(rig.messages.front().startsWith(lost)) << rig.messages.front().toStdString();
    rig->OnErase();
    EXPECT_EQ(rig.messages.size(), 1) << "the same failure is not shown after every command";
}

}  // namespace
