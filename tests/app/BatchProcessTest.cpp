// The program started as a process: each batch outcome with its exit status and the texts it
// writes to standard error, a start without a display, and a second start ending the first.
#include <gtest/gtest.h>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>

#include "image/FlashImage.h"
#include "support/TempDir.h"

namespace {

const QString kProgram = QStringLiteral(VELMO_BINARY_DIR "/bin/velmo");
const QString kBlinkHex = QStringLiteral(VELMO_SOURCE_DIR "/examples/blink.ihx");
const QString kBlinkBin = QStringLiteral(VELMO_SOURCE_DIR "/examples/blink.bin");

// One run's own folder: its chip file, its files and its single-instance socket, so runs
// of parallel tests never meet.
class RunFolder {
  public:
    RunFolder() {
        QFile::setPermissions(
            dir.QRoot(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    QString Path(const char* name) const { return dir.QPath(QString::fromUtf8(name)); }

    QProcessEnvironment Environment(const QString& simOptions, bool display = true) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "VELMO_TRACE"})
            env.remove(QString::fromUtf8(name));
        if (display) env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.QRoot());
        env.insert(QStringLiteral("TMPDIR"), dir.QRoot());
        env.insert(QStringLiteral("VELMO_PORT"), QStringLiteral("sim"));
        env.insert(QStringLiteral("VELMO_SIM_OPTIONS"), simOptions);
        env.insert(QStringLiteral("VELMO_SIM_CHIP"), Path("chip.bin"));
        return env;
    }

    void Start(QProcess& process, const QStringList& arguments, const QString& simOptions,
               bool display = true) const {
        process.setProcessEnvironment(Environment(simOptions, display));
        process.start(kProgram, arguments);
    }

    velmo::testing::TempDir dir;
};

struct Outcome {
    int exitCode = -1;
    QStringList lines;  // status texts and message boxes, in order
};

// The lines the program itself writes; progress lines and the platform's own notes are left out.
QStringList Reported(const QByteArray& stderrText) {
    QStringList lines;
    for (const QString& line : QString::fromUtf8(stderrText).split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("Status: ")) ||
            line.startsWith(QStringLiteral("velmo: ")))
            lines << line;
    }
    return lines;
}

Outcome RunToEnd(const RunFolder& run, const QStringList& arguments, const QString& simOptions,
                 bool display = true) {
    QProcess process;
    run.Start(process, arguments, simOptions, display);
    Outcome outcome;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "the program did not end";
        return outcome;
    }
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    outcome.exitCode = process.exitCode();
    outcome.lines = Reported(process.readAllStandardError());
    return outcome;
}

QByteArray PaddedImage(const QString& binaryFile) {
    QFile file(binaryFile);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    bytes.append(QByteArray(static_cast<int>(velmo::FLASH_SIZE) - bytes.size(), '\xFF'));
    return bytes;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString kStarted = QStringLiteral("Status: DriverLinx I/O erfolgreich gestartet!");
const QString kErasing = QStringLiteral("Status: Lösche Flash..");
const QString kErased = QStringLiteral("Status: Flash gelöscht");
const QString kProgramming = QStringLiteral("Status: Programmieren des Controllers...");

}  // namespace

TEST(BatchProcess, EachOutcomeEndsWithItsStatusAndTexts) {
    RunFolder run;
    QFile large(run.Path("large.bin"));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly));
    large.write(QByteArray(12289, '\0'));
    large.close();
    const QString board = QStringLiteral("Fehler beim Initialisieren des Velmo-Boards");

    struct Row {
        const char* name;
        QStringList arguments;
        QString simOptions;
        int exitCode;
        QStringList lines;
    };
    const QString bad = QStringLiteral("-f") + run.Path("missing.hex");
    const Row rows[] = {
        {"success",
         {"-a1", "-p378", "-m2", "-t11.0", "-f" + kBlinkHex},
         "clock=virtual",
         0,
         {kStarted, kErasing, kErased, kProgramming,
          QStringLiteral("Status: Datei erfolgreich programmiert!")}},
        {"file not found",
         {"-a1", "-p378", "-m2", "-t11.0", bad},
         "clock=virtual",
         1,
         {kStarted, QStringLiteral("velmo: Datei nicht gefunden!")}},
        {"no usable image",
         {"-a1", "-p378", "-m2", "-t11.0", "-f" + run.Path("large.bin")},
         "clock=virtual",
         1,
         {kStarted, QStringLiteral("Status: Datei erfolgreich geöffnet!"),
          QStringLiteral("velmo: Datei ist größer als Flash-Speicher des Controllers!"),
          QStringLiteral("velmo: Bitte wählen Sie zuerst eine Datei aus!")}},
        {"board does not answer",
         {"-a1", "-p378", "-m2", "-t11.0", "-f" + kBlinkHex},
         "clock=virtual,board=absent",
         1,
         {kStarted, "velmo: " + board, "Status: " + board, "velmo: " + board, "Status: " + board}},
        {"byte does not program",
         {"-a1", "-p378", "-m2", "-t11.0", "-f" + kBlinkHex},
         "clock=virtual,stuck=0000:55",
         1,
         {kStarted, kErasing, kErased, kProgramming,
          QStringLiteral("velmo: Fehler beim Programmieren!"),
          QStringLiteral("Status: Fehler beim Programmieren!")}},
        {"empty path", {"-a1", "-p378", "-m2", "-t11.0"}, "clock=virtual", 0, {kStarted}},
        {"other action",
         {"-a2", "-p378", "-m2", "-t11.0", "-f" + kBlinkHex},
         "clock=virtual",
         0,
         {kStarted}},
        {"driver does not start", {"-a1", "-f" + kBlinkHex}, "clock=sometimes", 1, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(run.Path("chip.bin"));
        const Outcome outcome = RunToEnd(run, row.arguments, row.simOptions);
        EXPECT_EQ(outcome.exitCode, row.exitCode);
        if (row.lines.isEmpty()) {
            ASSERT_EQ(outcome.lines.size(), 1);
            EXPECT_TRUE(outcome.lines.front().startsWith(
                QStringLiteral("Status: Fehler beim Starten von DriverLinx I/O! ")))
                << outcome.lines.front().toStdString();
        } else {
            EXPECT_EQ(outcome.lines, row.lines) << outcome.lines.join('\n').toStdString();
        }
    }
}

TEST(BatchProcess, ProgrammedChipHoldsExactlyTheExample) {
    RunFolder run;
    const Outcome outcome =
        RunToEnd(run, {"-a1", "-p378", "-m2", "-t11.0", "-f" + kBlinkHex}, "clock=virtual");
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(ReadAll(run.Path("chip.bin")), PaddedImage(kBlinkBin));
}

TEST(BatchProcess, WithoutADisplayABatchCallRunsHeadlessAndAWindowStartIsRefused) {
    RunFolder run;
    const Outcome batch =
        RunToEnd(run, {"-a1", "-p378", "-m2", "-t11.0", "-f" + kBlinkHex}, "clock=virtual", false);
    EXPECT_EQ(batch.exitCode, 0);
    EXPECT_EQ(batch.lines.back(), QStringLiteral("Status: Datei erfolgreich programmiert!"));

    QProcess window;
    run.Start(window, {}, QStringLiteral("clock=virtual"), false);
    ASSERT_TRUE(window.waitForFinished(30000));
    EXPECT_EQ(window.exitCode(), 1);
    const QString text = QString::fromUtf8(window.readAllStandardError());
    EXPECT_TRUE(text.contains(QStringLiteral("Keine Anzeige"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("velmo -a1 -p378 -m2 -t11.0 -fDATEI")))
        << text.toStdString();
}

TEST(BatchProcess, ASecondStartEndsTheRunningCopy) {
    RunFolder run;
    // The default timing on the real clock keeps the first copy programming for seconds.
    QProcess first;
    first.setProcessChannelMode(QProcess::SeparateChannels);
    run.Start(first, {"-a1", "-p378", "-m2", "-t11.0", "-f" + kBlinkHex},
              QStringLiteral("clock=real"));
    QByteArray firstText;
    const QDeadlineTimer deadline(30000);
    while (!firstText.contains("Programmieren des Controllers...") && !deadline.hasExpired() &&
           first.state() != QProcess::NotRunning) {
        first.waitForReadyRead(100);
        firstText += first.readAllStandardError();
    }
    ASSERT_TRUE(firstText.contains("Programmieren des Controllers...")) << firstText.toStdString();

    const Outcome second = RunToEnd(run, {"-a2", "-f" + kBlinkHex}, "clock=virtual");
    EXPECT_EQ(second.exitCode, 0);
    // The first copy ended on the request before it got to its end: its file is not
    // programmed, and the script that started it learns so from status 1.
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitCode(), 1);
    firstText += first.readAllStandardError();
    EXPECT_FALSE(firstText.contains("Datei erfolgreich programmiert!"));
}
