#include "cli/CliRunner.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "cli/CliOptions.h"
#include "cli/Outputs.h"
#include "cli/Progress.h"
#include "cli/SocketReport.h"
#include "cli/Terminal.h"
#include "cli/Texts.h"
#include "image/Crc16.h"
#include "image/HexWriter.h"
#include "image/ImageCompare.h"
#include "image/ImageFiles.h"
#include "image/IntelHex.h"
#include "image/OutputFile.h"
#include "ops/ChipSession.h"
#include "port/SettingText.h"
#include "sys/Process.h"

namespace velmo::cli {

namespace {

class Runner {
  public:
    Runner(const CliOptions& options, CliContext& context)
        : m_options(options), m_context(context) {}

    int Run() {
        switch (m_options.command) {
            case Command::Info:
                return Info();
            case Command::Erase:
            case Command::Program:
            case Command::Verify:
            case Command::Read:
            case Command::Lock:
                return DeviceCommand();
            case Command::None:
                break;
        }
        return Usage("Kein Befehl angegeben.");
    }

  private:
    int Fail(int status, const std::string& reason) {
        m_context.err << "velmo-cli: " << reason << "\n" << std::flush;
        m_lastReason = reason;
        return status;
    }
    int Usage(const std::string& reason) { return Fail(kExitUsage, reason); }

    // The input file, refused in German when it cannot be used at all.
    bool LoadFile(LoadedImage& loaded, int& status) {
        loaded = LoadImageFile(m_options.file);
        switch (loaded.error) {
            case LoadError::None:
                return loaded.format != ImageFormat::IntelHex || NoShortRecord(status);
            case LoadError::TooLarge:
                status = Usage("Datei " + Quoted(m_options.file) +
                               " ist größer als der Flash des Controllers (12288 Bytes).");
                return false;
            case LoadError::CannotOpen:
                break;
        }
        status = Usage("Datei " + Quoted(m_options.file) + " kann nicht geöffnet werden.");
        return false;
    }

    // The line ends before the data its record announces: the missing bytes would be made up.
    bool NoShortRecord(int& status) {
        const ShortHexRecord record = FindShortHexRecord(m_options.file);
        if (record.line == 0) return true;
        status = Usage("Datei " + Quoted(m_options.file) + ", Zeile " +
                       std::to_string(record.line) + ": der Datensatz kündigt " +
                       std::to_string(record.promised) + " Datenbytes an, die Zeile enthält aber " +
                       "nur " + std::to_string(record.present) + ".");
        return false;
    }

    // The name promises Intel HEX but the content fails the HEX test, so it would be read as
    // raw bytes: almost surely a damaged HEX file rather than a binary one.
    bool HexNameButBinary(const LoadedImage& loaded) const {
        return loaded.format == ImageFormat::Binary && HasHexExtension(m_options.file);
    }

    int Info() {
        LoadedImage source;
        int status = kExitOk;
        if (!LoadFile(source, status)) return status;
        std::ostream& out = m_context.out;
        const std::vector<AddressRange> ranges = SuppliedRanges(source.supplied);
        out << "Datei:     " << m_options.file << "\n";
        out << "Format:    " << (source.format == ImageFormat::IntelHex ? "Intel-HEX" : "binär");
        if (HexNameButBinary(source)) {
            out << " (Achtung: der Name endet auf .hex/.ihx, der Inhalt besteht aber den "
                   "Intel-HEX-Test nicht)";
        }
        out << "\n";
        out << "Belegt:    " << source.supplied.count() << " Bytes von der Datei geliefert, davon "
            << CountNotBlank(source.image) << " ungleich 0xFF\n";
        out << "Bereiche:  ";
        if (ranges.empty()) out << "keine";
        for (std::size_t i = 0; i < ranges.size(); ++i) {
            if (i > 0) out << "\n           ";
            const unsigned length = ranges[i].last - ranges[i].first + 1u;
            out << Hex4(ranges[i].first) << "-" << Hex4(ranges[i].last) << " (" << length
                << (length == 1 ? " Byte)" : " Bytes)");
        }
        out << "\n";
        out << "CRC-16:    " << FormatCrc(source.crc)
            << " (alle 12288 Bytes, nicht gelieferte als 0xFF)\n";
        return kExitOk;
    }

    // The input file of program and verify, refused before the chip is touched.
    bool LoadInput(LoadedImage& source, int& status) {
        if (!LoadFile(source, status)) return false;
        if (HexNameButBinary(source)) {
            // Programming the text of a damaged HEX file as raw bytes would only produce a
            // chip that runs garbage.
            status = Usage("Datei " + Quoted(m_options.file) +
                           " heißt wie eine Intel-HEX-Datei, besteht aber deren Prüfung nicht "
                           "(Zeile ohne ':' oder falsche Prüfsumme).");
            return false;
        }
        if (source.supplied.none()) {
            status = Usage("Datei " + Quoted(m_options.file) +
                           " enthält keine Daten (zum Löschen dient erase).");
            return false;
        }
        return true;
    }

    int DeviceCommand() {
        LoadedImage source;
        int status = kExitOk;
        const Command command = m_options.command;
        if ((command == Command::Program || command == Command::Verify) &&
            !LoadInput(source, status)) {
            return status;
        }
        if (const int refused = CheckOutputs(m_options, m_context.err); refused != kExitOk) {
            return refused;
        }

        LinkSetup setup =
            m_context.createLink(m_options.trace, m_options.portChoice, m_options.sockets);
        if (!setup.refusal.empty()) return Usage(setup.refusal);
        m_sockets.assign(m_options.sockets, SocketResult{});
        status = RunOnLink(setup, command, source);
        // The trace and the simulated chip's file are written out once the lines are released.
        if (const std::string lost = setup.files.Finish(); !lost.empty()) {
            Fail(kExitFailure, lost);
            if (status == kExitOk) status = kExitFailure;
        }
        return WriteReport(status);
    }

    // Written whatever the run came to, once it has reached the chips: a production script
    // reads every socket's result from it.
    int WriteReport(int status) {
        if (m_options.report.empty()) return status;
        RunReport report;
        report.command = CommandName(m_options.command);
        report.file = m_options.command == Command::Lock ? std::string() : m_options.file;
        report.status = status;
        report.sockets = m_sockets;
        const bool socketFailed = std::any_of(m_sockets.begin(), m_sockets.end(),
                                              [](const SocketResult& r) { return !r.ok(); });
        if (status != kExitOk && !socketFailed) report.error = m_lastReason;
        const std::string text = FormatReport(report);
        const OutputResult saved = WriteOutputFile(
            m_options.report, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        if (saved.ok()) return status;
        Fail(kExitFailure, "Fehler beim Schreiben der Berichtsdatei " + Quoted(m_options.report) +
                               ": " + DescribeOutputError(saved) + ".");
        return status == kExitOk ? kExitFailure : status;
    }

    int RunOnLink(LinkSetup& setup, Command command, const LoadedImage& source) {
        Clock& clock = *setup.clock;
        Progress progress(m_context.err, m_context.errIsTerminal, clock);
        Terminal terminal(progress, m_context.stop);
        setup.link->SetBaseAddress(m_options.port);
        ChipSession session(*setup.link, clock, terminal, m_options.mode,
                            BitDelayForClockRate(m_options.clockMHz));
        session.SetWriteCompletion(WriteCompletion::DataPolling);
        // Lines released and the driver stopped before the port and clock go away.
        OpenSession open(session);
        const std::int64_t startNs = clock.NowNs();

        const StepResult opened = session.Open();
        if (!opened.ok()) return Report(opened, session);
        // What each socket came to, also when the run ends early below.
        struct KeepSockets {
            ~KeepSockets() {
                for (unsigned s = 0; s < owner.size(); ++s) owner[s] = session.Socket(s);
            }
            std::vector<SocketResult>& owner;
            ChipSession& session;
        } keep{m_sockets, session};
        if (m_options.sockets > 1) return Gang(session, command, source);

        switch (command) {
            case Command::Erase:
                return Erase(session);
            case Command::Program:
                return Program(session, source, clock, startNs);
            case Command::Verify:
                return Verify(session, source);
            case Command::Read:
                return Read(session);
            case Command::Lock:
                return Lock(session);
            default:
                return kExitOk;
        }
    }

    int Report(const StepResult& result, ChipSession& session) {
        switch (result.outcome) {
            case StepOutcome::Ok:
                return kExitOk;
            case StepOutcome::DriverFailed:
                // A stop signal that ended the wait for the chip file's lock.
                if (m_context.stop && *m_context.stop) {
                    return Fail(128 + *m_context.stop, session.DriverMessage());
                }
                return Fail(kExitFailure,
                            "Port-Treiber nicht gestartet: " + session.DriverMessage());
            case StepOutcome::BoardFailed: {
                session.Close();
                // The board hangs on GPIO lines or on a parallel port's address.
                const bool gpio = m_options.portChoice == PortChoice::Gpio ||
                                  (m_options.portChoice == PortChoice::Environment &&
                                   IsGpioBackend(sys::EnvironmentVariable("VELMO_PORT")));
                return Fail(kExitFailure, "Fehler beim Initialisieren des Velmo-Boards (" +
                                              (gpio ? std::string("GPIO-Leitungen")
                                                    : "Port " + Hex4(m_options.port)) +
                                              "; für ein einfaches Kabel: --mode raw).");
            }
            case StepOutcome::WriteFailed: {
                session.Close();
                std::string reason = "Fehler beim Programmieren: Adresse " + Hex4(result.address) +
                                     " nimmt " + Hex2(result.wanted) + " nicht an (Chip liefert " +
                                     Hex2(result.readBack) + ")";
                if (m_options.strategy == ProgramStrategy::ChangedOnly) {
                    reason += "; ist ein Lock-Bit gesetzt? Ein vollständiges \"velmo-cli program " +
                              m_options.file +
                              "\" löscht den Chip samt Lock-Bits und schreibt alles neu.";
                } else {
                    reason += ".";
                }
                return Fail(kExitFailure, reason);
            }
            case StepOutcome::NoChip: {
                session.Close();
                const SocketResult& socket = session.Socket(0);
                if (socket.fault == SocketFault::NoChip) {
                    return Fail(kExitFailure,
                                "Kein Chip: nach dem Löschen liest er 0x00 statt 0xFF (Sockel "
                                "leer, Kabel, Spannung oder Quarz prüfen).");
                }
                return Fail(kExitFailure, "Der Chip ist nach dem Löschen nicht leer: Adresse " +
                                              Hex4(socket.address) + " liest " +
                                              Hex2(socket.readBack) + " statt 0xFF.");
            }
            case StepOutcome::Stopped: {
                // The end sequence runs before the message, so the lines are released even
                // if writing to the terminal blocks.
                session.Close();
                const int signal = m_context.stop && *m_context.stop ? *m_context.stop : SIGINT;
                const std::string where = result.address == StepResult::kNoAddress
                                              ? ""
                                              : " bei Adresse " + Hex4(result.address);
                return Fail(128 + signal, "Abgebrochen" + where + " (Signal " +
                                              std::to_string(signal) +
                                              "); Leitungen freigegeben, der Vorgang ist "
                                              "unvollständig.");
            }
        }
        return kExitFailure;
    }

    int Erase(ChipSession& session) {
        const StepResult erased = EraseChips(session);
        if (!erased.ok()) return Report(erased, session);
        m_context.out << "Flash gelöscht (alle Bytes 0xFF, Lock-Bits frei).\n";
        return kExitOk;
    }

    int Program(ChipSession& session, const LoadedImage& source, Clock& clock,
                std::int64_t startNs) {
        std::vector<FlashImage> seen;
        const ProgramResult programmed =
            ProgramChips(session, source.image, m_options.strategy, seen);
        if (!programmed.step.ok()) return Report(programmed.step, session);
        const std::size_t written = programmed.written;
        const FlashImage& image = source.image;
        const FlashImage& chip = seen.front();
        const ImageDifference difference = CompareImages(image, chip);
        if (!difference.Equal()) {
            session.Close();
            return Fail(kExitFailure, "Verifizierung nach dem Programmieren fehlgeschlagen: " +
                                          DescribeDifference(difference) + ".");
        }
        m_context.out << "Programmiert und verifiziert: " << written
                      << (written == 1 ? " Byte" : " Bytes") << " geschrieben, alle 12288 "
                      << "Bytes stimmen überein, CRC-16 " << FormatCrc(source.crc) << ", "
                      << Seconds(clock.NowNs() - startNs) << ".\n";
        return kExitOk;
    }

    int Verify(ChipSession& session, const LoadedImage& source) {
        std::vector<FlashImage> seen;
        const StepResult result = VerifyChips(session, source.image, seen);
        if (!result.ok()) return Report(result, session);
        const FlashImage& chip = seen.front();
        const ImageDifference difference = CompareImages(source.image, chip);
        if (!difference.Equal()) {
            session.Close();
            return Fail(kExitFailure,
                        "Chip und Datei stimmen nicht überein: " + DescribeDifference(difference) +
                            " (CRC-16 Datei " + FormatCrc(source.crc) + ", Chip " +
                            FormatCrc(CrcOf(chip)) + ").");
        }
        m_context.out << "Chip und Datei stimmen in allen 12288 Bytes überein, CRC-16 "
                      << FormatCrc(source.crc) << ".\n";
        return kExitOk;
    }

    int Read(ChipSession& session) {
        std::vector<FlashImage> seen;
        const StepResult result = ReadChips(session, seen);
        if (!result.ok()) return Report(result, session);
        const FlashImage& chip = seen.front();
        session.Close();
        const bool hex = HasHexExtension(m_options.file);
        if (const std::string failed = SaveRead(m_options.file, chip); !failed.empty()) {
            return Fail(kExitFailure, failed);
        }
        m_context.out << "12288 Bytes gelesen, CRC-16 " << FormatCrc(CrcOf(chip))
                      << ", gespeichert in " << Quoted(m_options.file)
                      << (hex ? " (Intel-HEX).\n" : " (binär).\n");
        return kExitOk;
    }

    int Lock(ChipSession& session) {
        session.WriteLockBits(m_options.lockBits);
        std::string list;
        for (std::size_t i = 0; i < m_options.lockBits.size(); ++i) {
            if (!m_options.lockBits[i]) continue;
            if (!list.empty()) list += ",";
            list += std::to_string(i + 1);
        }
        m_context.out << "Lock-Bits " << list
                      << " geschrieben (werden nicht zurückgelesen; nur erase löscht sie).\n";
        return kExitOk;
    }

    // Every socket at once: one line per socket at the end, on standard output when all of
    // them succeeded, on standard error with status 1 when any failed.
    int Gang(ChipSession& session, Command command, const LoadedImage& source) {
        std::vector<FlashImage> seen;
        StepResult step;
        switch (command) {
            case Command::Erase:
                step = EraseChips(session);
                break;
            case Command::Program:
                step = ProgramChips(session, source.image, m_options.strategy, seen).step;
                break;
            case Command::Verify:
                step = VerifyChips(session, source.image, seen);
                break;
            case Command::Read:
                step = ReadChips(session, seen);
                break;
            case Command::Lock:
                session.WriteLockBits(m_options.lockBits);
                break;
            default:
                break;
        }
        // Failing sockets end no run; only what ends it for all of them does.
        if (!step.ok() && step.outcome != StepOutcome::WriteFailed &&
            step.outcome != StepOutcome::NoChip) {
            return Report(step, session);
        }
        session.Close();
        int status = kExitOk;
        std::string lines;
        for (unsigned socket = 0; socket < session.Sockets(); ++socket) {
            const SocketResult& result = session.Socket(socket);
            if (!result.ok()) status = kExitFailure;
            lines += SocketLine(socket, result);
            if (command == Command::Read && result.ok()) {
                const std::string path = OutputOfSocket(m_options, socket);
                const std::string saved = SaveRead(path, seen[socket]);
                if (!saved.empty()) {
                    Fail(kExitFailure, saved);
                    status = kExitFailure;
                } else {
                    lines += ", gespeichert in " + Quoted(path);
                }
            }
            lines += "\n";
        }
        (status == kExitOk ? m_context.out : m_context.err) << lines << std::flush;
        return status;
    }

    // Saves what was read from a chip, as Intel HEX where the name says so; a German reason
    // when that failed.
    std::string SaveRead(const std::string& path, const FlashImage& chip) {
        const bool hex = HasHexExtension(path);
        const std::string text = hex ? FormatIntelHex(chip) : std::string();
        const OutputResult saved =
            hex ? WriteOutputFile(path, reinterpret_cast<const std::uint8_t*>(text.data()),
                                  text.size())
                : WriteOutputFile(path, chip.data(), chip.size());
        if (saved.ok()) return {};
        return "Fehler beim Erzeugen der Datei " + Quoted(path) + ": " +
               DescribeOutputError(saved) + ".";
    }

    const CliOptions& m_options;
    CliContext& m_context;
    std::string m_lastReason;             // the last failure said, for the report
    std::vector<SocketResult> m_sockets;  // what each socket came to
};

}  // namespace

int RunCli(const std::vector<std::string>& args, CliContext& context) {
    const ParseResult parsed = ParseArguments(args);
    if (!parsed.ok) {
        context.err << "velmo-cli: " << parsed.error << " (Hilfe: velmo-cli --help)\n"
                    << std::flush;
        return kExitUsage;
    }
    const CliOptions& options = parsed.options;
    if (options.help) {
        context.out << (options.command == Command::None ? GeneralHelp()
                                                         : CommandHelp(options.command));
        return kExitOk;
    }
    if (options.version) {
        context.out << VersionText();
        return kExitOk;
    }
    // Results go out only when the whole call has succeeded, its files included: a script
    // never reads that a chip was programmed from a call that ends with 1.
    std::ostringstream results;
    CliContext held{results, context.err, context.errIsTerminal, context.createLink, context.stop};
    Runner runner(options, held);
    const int status = runner.Run();
    if (status == kExitOk) {
        (ResultsToStandardError(options) ? context.err : context.out) << results.str();
    }
    return status;
}

int FinishStandardOutput(std::ostream& out, std::FILE* file, std::ostream& err) {
    errno = 0;
    out.flush();
    bool ok = !out.bad();
    int reason = ok ? 0 : errno;
    if (std::fflush(file) != 0 || std::ferror(file) != 0) {
        ok = false;
        if (reason == 0) reason = errno;
    }
    if (std::fclose(file) != 0) {
        ok = false;
        if (reason == 0) reason = errno;
    }
    if (ok) return kExitOk;
    err << "velmo-cli: Die Standardausgabe konnte nicht vollständig geschrieben werden"
        << (reason != 0 ? std::string(" (") + std::strerror(reason) + ")" : std::string()) << ".\n"
        << std::flush;
    return kExitFailure;
}

std::string TracePath(const std::string& option) {
    return option.empty() ? sys::EnvironmentVariable("VELMO_TRACE") : option;
}

LinkSetup CreateLinkForCli(const std::string& trace, PortChoice port, unsigned sockets) {
    return CreateLink(CliPortEnvironment(trace, port, sockets));
}

}  // namespace velmo::cli
