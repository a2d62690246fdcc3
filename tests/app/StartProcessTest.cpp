// The window program started as a process where its surroundings are hostile: a display that
// does not answer, no runtime folder for the single-instance socket, side files that are
// pipes, a trace over the batch file, a chip file it may not write.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <filesystem>
#include <string>

#include "image/FlashImage.h"
#include "support/FileKinds.h"
#include "support/TempDir.h"

using velmo::testing::TempDir;

namespace {

const QString kProgram = QStringLiteral(VELMO_BINARY_DIR "/bin/velmo");
const QString kBlinkHex = QStringLiteral(VELMO_SOURCE_DIR "/examples/blink.ihx");
const char* const kProgrammed = "Status: Datei erfolgreich programmiert!";

// Each test's own folder, with a runtime folder of its own in it (so no copy started
// elsewhere can close the program under test) and the simulated chip.
class Folder {
  public:
    Folder() {
        ::chmod(dir.Root().c_str(), 0700);
        std::filesystem::create_directory(Path("runtime"));
        ::chmod(Path("runtime").c_str(), 0700);
        std::filesystem::create_directory(Path("tmp"));
    }
    std::string Path(const std::string& name) const { return dir.Path(name); }
    QString QPath(const std::string& name) const { return QString::fromStdString(Path(name)); }

    // No display, the simulator on the virtual clock.
    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "VELMO_TRACE", "XAUTHORITY"})
            env.remove(QString::fromUtf8(name));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QPath("runtime"));
        env.insert(QStringLiteral("TMPDIR"), QPath("tmp"));
        env.insert(QStringLiteral("VELMO_PORT"), QStringLiteral("sim"));
        env.insert(QStringLiteral("VELMO_SIM_OPTIONS"), QStringLiteral("clock=virtual"));
        env.insert(QStringLiteral("VELMO_SIM_CHIP"), QPath("chip.bin"));
        return env;
    }

    TempDir dir;
};

struct Ended {
    bool finished = false;  // within the time given
    bool crashed = false;   // ended by a signal (an abort)
    int exitCode = -1;
    QString err;
};

Ended RunProgram(const QStringList& arguments, const QProcessEnvironment& env,
                 const std::vector<std::string>& prefix = {}, int timeoutMs = 60000) {
    QProcess process;
    process.setProcessEnvironment(env);
    QStringList words;
    for (const std::string& word : prefix) words << QString::fromStdString(word);
    words << kProgram << arguments;
    process.start(words.takeFirst(), words);
    Ended ended;
    ended.finished = process.waitForFinished(timeoutMs);
    if (!ended.finished) {
        process.kill();
        process.waitForFinished();
    }
    ended.crashed = process.exitStatus() == QProcess::CrashExit;
    ended.exitCode = process.exitCode();
    ended.err = QString::fromUtf8(process.readAllStandardError());
    return ended;
}

QStringList Batch(const QString& file) {
    return {QStringLiteral("-a1"), QStringLiteral("-p378"), QStringLiteral("-m2"),
            QStringLiteral("-t11.0"), QStringLiteral("-f") + file};
}

QByteArray ReadAll(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An X display number with no server behind it on this machine.
QString SilentDisplay() {
    for (int number = 987; number < 1100; ++number) {
        if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
            return QStringLiteral(":%1").arg(number);
    }
    return {};
}

}  // namespace

TEST(Display, ADisplayThatDoesNotAnswerGivesAHeadlessBatchRunOrAGermanRefusal) {
    Folder folder;
    const QString display = SilentDisplay();
    if (display.isEmpty()) GTEST_SKIP() << "every display number up to 1099 has a server";
    QProcessEnvironment env = folder.Environment();
    env.insert(QStringLiteral("DISPLAY"), display);

    const Ended batch = RunProgram(Batch(kBlinkHex), env);
    ASSERT_TRUE(batch.finished);
    EXPECT_FALSE(batch.crashed) << batch.err.toStdString();
    EXPECT_EQ(batch.exitCode, 0) << batch.err.toStdString();
    EXPECT_TRUE(batch.err.contains(QString::fromUtf8(kProgrammed))) << batch.err.toStdString();

    const Ended window = RunProgram({}, env);
    ASSERT_TRUE(window.finished);
    EXPECT_FALSE(window.crashed) << window.err.toStdString();
    EXPECT_EQ(window.exitCode, 1);
    EXPECT_TRUE(window.err.startsWith(
        QStringLiteral("velmo: Die Anzeige \"%1\" ist nicht erreichbar, das Fenster kann nicht "
                       "erscheinen.")
            .arg(display)))
        << window.err.toStdString();
}

TEST(SingleInstanceSocket, WithoutARuntimeFolderTheSocketLiesInAPrivateFolderOfTmpdir) {
    Folder folder;
    QProcessEnvironment env = folder.Environment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    const std::string privateFolder = folder.Path("tmp/velmo-" + std::to_string(::getuid()));

    // A first copy that programs for seconds on the real clock.
    QProcessEnvironment slow = env;
    slow.insert(QStringLiteral("VELMO_SIM_OPTIONS"), QStringLiteral("clock=real"));
    QProcess first;
    first.setProcessEnvironment(slow);
    first.start(kProgram, Batch(kBlinkHex));
    QByteArray text;
    const QDeadlineTimer deadline(30000);
    while (!text.contains("Programmieren des Controllers...") && !deadline.hasExpired() &&
           first.state() != QProcess::NotRunning) {
        first.waitForReadyRead(100);
        text += first.readAllStandardError();
    }
    ASSERT_TRUE(text.contains("Programmieren des Controllers...")) << text.toStdString();

    struct stat info {};
    ASSERT_EQ(::lstat(privateFolder.c_str(), &info), 0) << "no folder " << privateFolder;
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(info.st_uid, ::getuid());
    bool socketThere = false;
    for (const auto& entry : std::filesystem::directory_iterator(privateFolder))
        socketThere = socketThere || velmo::testing::IsSocket(entry.path().string());
    EXPECT_TRUE(socketThere);

    // A second start finds the first there and ends it.
    const Ended second = RunProgram({QStringLiteral("-a2"), QStringLiteral("-f") + kBlinkHex}, env);
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    ASSERT_TRUE(first.waitForFinished(10000));
    text += first.readAllStandardError();
    EXPECT_FALSE(text.contains("Datei erfolgreich programmiert!"));
}

TEST(SingleInstanceSocket, APrivateFolderThatIsNotSafeIsNotUsed) {
    const velmo::testing::Unprivileged other = velmo::testing::UnprivilegedRunner();
    const struct {
        const char* name;
        mode_t mode;
        bool otherOwner;  // the folder belongs to another user (needs root to make)
    } cases[] = {{"open to others", 0755, false}, {"another user's", 0700, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.otherOwner && (::geteuid() != 0 || !other.possible)) continue;
        Folder folder;
        QProcessEnvironment env = folder.Environment();
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        const std::string privateFolder = folder.Path("tmp/velmo-" + std::to_string(::getuid()));
        ASSERT_EQ(::mkdir(privateFolder.c_str(), c.mode), 0);
        ::chmod(privateFolder.c_str(), c.mode);
        if (c.otherOwner) {
            ASSERT_EQ(::chown(privateFolder.c_str(), other.uid, other.gid), 0);
        }

        const Ended ended =
            RunProgram({QStringLiteral("-a2"), QStringLiteral("-f") + kBlinkHex}, env);
        EXPECT_EQ(ended.exitCode, 0) << ended.err.toStdString();
        EXPECT_TRUE(ended.err.contains(
            QStringLiteral("velmo: Der Ordner \"%1\" gehört nicht diesem Benutzer oder ist nicht "
                           "nur ihm zugänglich (0700); das Programm läuft ohne die Regel, dass nur "
                           "eine Kopie läuft.")
                .arg(QString::fromStdString(privateFolder))))
            << ended.err.toStdString();
        EXPECT_TRUE(std::filesystem::is_empty(privateFolder)) << "the socket went there";
        struct stat info {};
        ASSERT_EQ(::stat(privateFolder.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, c.mode) << "the folder was changed";
    }
}

TEST(BatchSideFiles, ATraceNamingTheBatchFileOrTheChipEndsTheCallWithOne) {
    Folder folder;
    QFile::copy(kBlinkHex, folder.QPath("in.ihx"));
    const QByteArray input = ReadAll(folder.Path("in.ihx"));

    QProcessEnvironment env = folder.Environment();
    env.insert(QStringLiteral("VELMO_TRACE"), folder.QPath("in.ihx"));
    Ended ended = RunProgram(Batch(folder.QPath("in.ihx")), env);
    EXPECT_EQ(ended.exitCode, 1) << ended.err.toStdString();
    EXPECT_TRUE(ended.err.contains(QStringLiteral("zugleich die zu programmierende Datei")))
        << ended.err.toStdString();
    EXPECT_FALSE(ended.err.contains(QString::fromUtf8(kProgrammed)));
    EXPECT_EQ(ReadAll(folder.Path("in.ihx")), input);
    EXPECT_FALSE(QFile::exists(folder.QPath("chip.bin"))) << "the chip was touched";

    const QByteArray chip(static_cast<int>(velmo::FLASH_SIZE), '\x5A');
    QFile chipFile(folder.QPath("chip.bin"));
    ASSERT_TRUE(chipFile.open(QIODevice::WriteOnly));
    chipFile.write(chip);
    chipFile.close();
    env.insert(QStringLiteral("VELMO_TRACE"), folder.QPath("runtime/../chip.bin"));
    ended = RunProgram(Batch(kBlinkHex), env);
    EXPECT_EQ(ended.exitCode, 1) << ended.err.toStdString();
    EXPECT_TRUE(ended.err.contains(QStringLiteral("zugleich die Chip-Datei des Simulators")))
        << ended.err.toStdString();
    EXPECT_EQ(ReadAll(folder.Path("chip.bin")), chip);
}

TEST(BatchSideFiles, PipesAsSideFilesDoNotHoldTheBatchCall) {
    Folder folder;
    ASSERT_TRUE(velmo::testing::MakeFifo(folder.Path("side.pipe")));
    for (const char* variable : {"VELMO_SIM_CHIP", "VELMO_TRACE"}) {
        SCOPED_TRACE(variable);
        QProcessEnvironment env = folder.Environment();
        env.insert(QString::fromUtf8(variable), folder.QPath("side.pipe"));
        const Ended ended = RunProgram(Batch(kBlinkHex), env, {}, 30000);
        ASSERT_TRUE(ended.finished) << "the start waited on the pipe";
        EXPECT_EQ(ended.exitCode, 1) << ended.err.toStdString();
        EXPECT_TRUE(ended.err.contains(QStringLiteral("Fehler beim Starten von DriverLinx I/O!")))
            << ended.err.toStdString();
        EXPECT_TRUE(velmo::testing::IsFifo(folder.Path("side.pipe")));
    }
}

// For someone who may read the chip file but not write it, nothing was programmed.
TEST(BatchSideFiles, AChipFileThatCannotBeWrittenFailsTheBatchCall) {
    const velmo::testing::Unprivileged user = velmo::testing::UnprivilegedRunner();
    if (!user.possible) GTEST_SKIP() << user.reason;
    Folder folder;
    const QByteArray chip(static_cast<int>(velmo::FLASH_SIZE), '\xFF');
    QFile chipFile(folder.QPath("chip.bin"));
    ASSERT_TRUE(chipFile.open(QIODevice::WriteOnly));
    chipFile.write(chip);
    chipFile.close();
    ::chmod(folder.Path("chip.bin").c_str(), 0444);
    QFile::copy(kBlinkHex, folder.QPath("in.ihx"));
    ::chmod(folder.Path("in.ihx").c_str(), 0444);
    // The runtime and temporary folders are the user's; the chip's folder is not.
    for (const char* own : {"runtime", "tmp"}) {
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(folder.Path(own).c_str(), user.uid, user.gid), 0);
        }
    }
    ::chmod(folder.dir.Root().c_str(), user.prefix.empty() ? 0555 : 0755);

    const Ended ended =
        RunProgram(Batch(folder.QPath("in.ihx")), folder.Environment(), user.prefix);
    ::chmod(folder.dir.Root().c_str(), 0700);
    EXPECT_EQ(ended.exitCode, 1) << ended.err.toStdString();
    EXPECT_TRUE(ended.err.contains(
        QStringLiteral("velmo: Die Chip-Datei \"%1\" (VELMO_SIM_CHIP) kann nicht geschrieben "
                       "werden")
            .arg(folder.QPath("chip.bin"))))
        << ended.err.toStdString();
    EXPECT_EQ(ReadAll(folder.Path("chip.bin")), chip);
}
