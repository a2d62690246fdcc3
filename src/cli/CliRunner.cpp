#include "cli/CliRunner.h"
#include "cli/Runner.h"

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
#include "ops/ChipIdentity.h"
#include "ops/ChipSession.h"
#include "port/SettingText.h"
#include "sys/Process.h"

namespace velmo::cli {

int Runner::Run() {
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

int Runner::Fail(int status, const std::string& reason) {
    m_context.err << "velmo-cli: " << reason << "\n" << std::flush;
    m_lastReason = reason;
    return status;
}

bool Runner::LoadFile(LoadedImage& loaded, int& status) {
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

bool Runner::NoShortRecord(int& status) {
    const ShortHexRecord record = FindShortHexRecord(m_options.file);
    if (record.line == 0) return true;
    status = Usage("Datei " + Quoted(m_options.file) + ", Zeile " + std::to_string(record.line) +
                   ": der Datensatz kündigt " + std::to_string(record.promised) +
                   " Datenbytes an, die Zeile enthält aber " + "nur " +
                   std::to_string(record.present) + ".");
    return false;
}

bool Runner::HexNameButBinary(const LoadedImage& loaded) const {
    return loaded.format == ImageFormat::Binary && HasHexExtension(m_options.file);
}

int Runner::Info() {
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

bool Runner::LoadInput(LoadedImage& source, int& status) {
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

int Runner::DeviceCommand() {
    LoadedImage source;
    int status = kExitOk;
    const Command command = m_options.command;
    if ((command == Command::Program || command == Command::Verify) && !LoadInput(source, status)) {
        return status;
    }
    if (const int refused = CheckOutputs(m_options, m_context.err); refused != kExitOk) {
        return refused;
    }
    if (m_options.chip && !FitsChip(source, chip::Describe(*m_options.chip), status)) {
        return status;
    }

    LinkSetup setup = m_context.createLink(m_options.trace, m_options.portChoice, m_options.sockets,
                                           m_options.adapterSerial);
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

int Runner::WriteReport(int status) {
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

int Runner::RunOnLink(LinkSetup& setup, Command command, const LoadedImage& source) {
    Clock& clock = *setup.clock;
    Progress progress(m_context.err, m_context.errIsTerminal, clock);
    Terminal terminal(progress, m_context.stop);
    setup.link->SetBaseAddress(m_options.port);
    const ChipDescription& first = ChipToOpenWith(m_options.chip);
    ChipSession session(*setup.link, clock, terminal, m_options.mode,
                        chip::BitDelay(first, m_options.clockMHz));
    session.SetChip(first);
    session.SetWriteCompletion(WriteCompletion::DataPolling);
    // Lines released and the driver stopped before the port and clock go away.
    OpenSession open(session);
    const std::int64_t startNs = clock.NowNs();

    const StepResult opened = session.Open();
    // Several adapters and none chosen, pins the adapter does not have: the call's fault.
    if (opened.outcome == StepOutcome::DriverFailed && setup.link->RefusedCall()) {
        return Usage("Port-Treiber nicht gestartet: " + session.DriverMessage());
    }
    if (!opened.ok()) return Report(opened, session);
    // What each socket came to, also when the run ends early below.
    struct KeepSockets {
        ~KeepSockets() {
            for (unsigned s = 0; s < owner.size(); ++s) owner[s] = session.Socket(s);
        }
        std::vector<SocketResult>& owner;
        ChipSession& session;
    } keep{m_sockets, session};
    if (const std::optional<int> end = Identify(session, source)) return *end;
    const int status = m_options.sockets > 1 ? Gang(session, command, source)
                                             : RunCommand(session, command, source, clock, startNs);
    // Nothing done after the link went away counts: an adapter unplugged during the last
    // instruction leaves no step failed.
    if (status == kExitOk && session.LinkLost()) return LinkLost(session);
    return status;
}

int Runner::LinkLost(ChipSession& session) {
    session.Close();
    return Fail(kExitFailure, session.DriverMessage());
}

int Runner::Report(const StepResult& result, ChipSession& session) {
    // Whatever the step came to, a link that went away is the reason.
    if (result.outcome != StepOutcome::DriverFailed && session.LinkLost()) {
        return LinkLost(session);
    }
    switch (result.outcome) {
        case StepOutcome::Ok:
            return kExitOk;
        case StepOutcome::LinkLost:
            return LinkLost(session);
        case StepOutcome::DriverFailed:
            // A stop signal that ended the wait for the chip file's lock.
            if (m_context.stop && *m_context.stop) {
                return Fail(128 + *m_context.stop, session.DriverMessage());
            }
            return Fail(kExitFailure, "Port-Treiber nicht gestartet: " + session.DriverMessage());
        case StepOutcome::BoardFailed: {
            session.Close();
            // The board hangs on GPIO lines, a USB adapter or a parallel port's address.
            const bool environment = m_options.portChoice == PortChoice::Environment;
            std::string where = "Port " + Hex4(m_options.port);
            if (m_options.portChoice == PortChoice::Gpio ||
                (environment && IsGpioBackend(sys::EnvironmentVariable("VELMO_PORT")))) {
                where = "GPIO-Leitungen";
            } else if (m_options.portChoice == PortChoice::Ftdi ||
                       (environment && IsFtdiBackend(sys::EnvironmentVariable("VELMO_PORT")))) {
                where = "USB-Adapter";
            }
            return Fail(kExitFailure, "Fehler beim Initialisieren des Velmo-Boards (" + where +
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
            if (socket.fault == SocketFault::WrongChip) return WrongChip(session, socket);
            if (socket.fault == SocketFault::LockFailed) {
                return Fail(kExitFailure, "Die Lock-Bits sind nicht gesetzt: der Chip liest " +
                                              LockList(socket.readBack) + " zurück statt " +
                                              LockList(socket.wanted) + ".");
            }
            if (socket.fault == SocketFault::NoChip) {
                return Fail(kExitFailure,
                            "Kein Chip: nach dem Löschen liest er 0x00 statt 0xFF (Sockel "
                            "leer, Kabel, Spannung oder Quarz prüfen).");
            }
            return Fail(kExitFailure, "Der Chip ist nach dem Löschen nicht leer: Adresse " +
                                          Hex4(socket.address) + " liest " + Hex2(socket.readBack) +
                                          " statt 0xFF.");
        }
        case StepOutcome::Stopped: {
            // The end sequence runs before the message, so the lines are released even
            // if writing to the terminal blocks.
            session.Close();
            const int signal = m_context.stop && *m_context.stop ? *m_context.stop : SIGINT;
            const std::string where = result.address == StepResult::kNoAddress
                                          ? ""
                                          : " bei Adresse " + Hex4(result.address);
            return Fail(128 + signal, "Abgebrochen" + where + " (Signal " + std::to_string(signal) +
                                          "); Leitungen freigegeben, der Vorgang ist "
                                          "unvollständig.");
        }
    }
    return kExitFailure;
}

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

LinkSetup CreateLinkForCli(const std::string& trace, PortChoice port, unsigned sockets,
                           const std::string& serial) {
    return CreateLink(CliPortEnvironment(trace, port, sockets, serial));
}

}  // namespace velmo::cli
