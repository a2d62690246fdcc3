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
#include "ops/ChipIdentity.h"
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
        if (m_options.chip && !FitsChip(source, chip::Describe(*m_options.chip), status)) {
            return status;
        }

        LinkSetup setup = m_context.createLink(m_options.trace, m_options.portChoice,
                                               m_options.sockets, m_options.adapterSerial);
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

    // A file that supplies bytes beyond the chip's memory cannot go into it.
    bool FitsChip(const LoadedImage& source, const ChipDescription& chip, int& status) {
        const std::uint32_t size = chip.Size(m_options.memory);
        if (!source.Loaded() || size == 0 || size >= FLASH_SIZE) return true;
        std::uint32_t end = FLASH_SIZE;
        while (end > 0 && !source.supplied.test(end - 1)) --end;
        if (end <= size) return true;
        status =
            Usage("Datei " + Quoted(m_options.file) + " ist größer als " + MemoryName(chip) + " (" +
                  std::to_string(size) + " Bytes): sie belegt Adressen bis " + Hex4(end - 1) + ".");
        return false;
    }

    // "der Flash des AT89S52", "das EEPROM des AT89S8253"
    std::string MemoryName(const ChipDescription& chip) const {
        return std::string(m_options.memory == ChipMemory::Eeprom ? "das EEPROM des "
                                                                  : "der Flash des ") +
               chip.name;
    }

    // "alle 12288 Bytes", "alle 2048 Bytes des EEPROM"
    static std::string AllBytes(const ChipSession& session) {
        return "alle " + std::to_string(session.Size()) + " Bytes" +
               (session.Memory() == ChipMemory::Eeprom ? " des EEPROM" : "");
    }

    // Which chip sits in the sockets, and whether the call can run on it: the status to end
    // with, or nothing to go on (a gang with the sockets that hold the chip).
    std::optional<int> Identify(ChipSession& session, const LoadedImage& source) {
        const Identification found = IdentifyChips(session, m_options.chip);
        const ChipDescription& chip = session.Chip();
        if (found.signatureHidden) {
            session.Close();
            return Fail(kExitFailure,
                        "Der Chip antwortet wie ein AT89S51 oder AT89S52, seine Signatur ist "
                        "aber nicht lesbar (Lock-Bits 2 und 3 gesetzt?). Bitte den Chip nennen: "
                        "--chip at89s51 oder --chip at89s52.");
        }
        // A line like the progress lines: what auto found is no failure.
        if (!m_options.chip && found.bySignature) {
            m_context.err << "Chip: " << chip.name << " erkannt (Signatur "
                          << SignatureText(found.signature, chip.signatureBytes) << ").\n"
                          << std::flush;
        } else if (!m_options.chip) {
            m_context.err << "Chip: keine Signatur, AT89S53 angenommen (ein AT89S8252 antwortet "
                             "seriell genauso; --chip at89s8252 wählt ihn).\n"
                          << std::flush;
        }
        if (!found.step.ok()) {
            if (m_options.sockets > 1) return GangResults(session, m_options.command, {});
            if (session.Socket(0).fault == SocketFault::NoChip) {
                session.Close();
                return Fail(kExitFailure,
                            "Kein Chip: er antwortet nur mit 0x00 (Sockel leer, "
                            "Kabel, Spannung oder Quarz prüfen).");
            }
            return Report(found.step, session);
        }
        session.SetBitDelay(chip::BitDelay(chip, m_options.clockMHz));
        session.SetMemory(m_options.memory);
        int status = kExitOk;
        if (!m_options.chip) {
            if (const std::string refusal = ChipRefusal(m_options, chip); !refusal.empty()) {
                session.Close();
                return Usage(refusal);
            }
            if (!FitsChip(source, chip, status)) {
                session.Close();
                return status;
            }
            if (!found.bySignature && !SparesAnEeprom(session, source)) {
                session.Close();
                return Usage(
                    "Ohne Signatur ist der Chip als AT89S53 angenommen, aber oberhalb von "
                    "0x1FFF steht etwas, das die Datei nicht liefert: bei einem AT89S8252 wäre "
                    "es sein EEPROM, und --changed-only würde es überschreiben. Bitte den Chip "
                    "nennen: --chip at89s53 oder --chip at89s8252.");
            }
        }
        return std::nullopt;
    }

    // An AT89S8252 answers as an AT89S53 does, and where the AT89S53's flash goes on above
    // 0x1FFF, its EEPROM answers. Without an erase, a cell there that is not blank may be the
    // EEPROM's; writing the image's 0xFF over it would lose it. False when such a cell is
    // there and the file supplies nothing above 0x1FFF.
    bool SparesAnEeprom(ChipSession& session, const LoadedImage& source) {
        constexpr std::uint32_t kEepromAt = 0x2000;
        if (m_options.command != Command::Program ||
            m_options.strategy != ProgramStrategy::ChangedOnly ||
            m_options.memory != ChipMemory::Flash) {
            return true;
        }
        for (std::uint32_t a = kEepromAt; a < FLASH_SIZE; ++a) {
            if (source.supplied.test(a)) return true;
        }
        std::vector<std::uint16_t> upper;
        for (std::uint32_t a = kEepromAt; a < FLASH_SIZE; ++a) {
            upper.push_back(static_cast<std::uint16_t>(a));
        }
        FlashImage erased;
        ClearImage(erased);
        std::vector<FlashImage> seen(session.Sockets(), erased);
        if (!session.Reread(upper, seen).ok()) return true;  // a stop: the run ends anyway
        for (unsigned s = 0; s < session.Sockets(); ++s) {
            if (!session.Live(s)) continue;
            for (const std::uint16_t a : upper) {
                if (seen[s][a] != 0xFF) return false;
            }
        }
        return true;
    }

    int RunOnLink(LinkSetup& setup, Command command, const LoadedImage& source) {
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
        const int status = m_options.sockets > 1
                               ? Gang(session, command, source)
                               : RunCommand(session, command, source, clock, startNs);
        // Nothing done after the link went away counts: an adapter unplugged during the last
        // instruction leaves no step failed.
        if (status == kExitOk && session.LinkLost()) return LinkLost(session);
        return status;
    }

    int RunCommand(ChipSession& session, Command command, const LoadedImage& source, Clock& clock,
                   std::int64_t startNs) {
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

    int LinkLost(ChipSession& session) {
        session.Close();
        return Fail(kExitFailure, session.DriverMessage());
    }

    int Report(const StepResult& result, ChipSession& session) {
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
                return Fail(kExitFailure,
                            "Port-Treiber nicht gestartet: " + session.DriverMessage());
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

    // Named chip and socket disagree: what the socket said it is, and what to do.
    int WrongChip(const ChipSession& session, const SocketResult& socket) {
        const ChipDescription& chip = session.Chip();
        const std::string said = SignatureText(socket.signature, socket.signatureBytes);
        const std::optional<ChipKind> other = ChipBySignature(socket.signature);
        if (other) {
            return Fail(kExitFailure, "Falscher Chip: er meldet sich mit der Signatur " + said +
                                          " als " + chip::Describe(*other).name + ", nicht als " +
                                          chip.name + " (--chip auto erkennt ihn selbst).");
        }
        return Fail(kExitFailure, std::string("Der Chip antwortet nicht wie ein ") + chip.name +
                                      " (Signatur " + said + " statt " +
                                      SignatureText(chip.signature, chip.signatureBytes) +
                                      "; Kabel, Quarz und --chip prüfen). Nichts wurde gelöscht.");
    }

    int Erase(ChipSession& session) {
        const StepResult erased = EraseChips(session);
        if (!erased.ok()) return Report(erased, session);
        m_context.out << (session.Chip().eepromSize > 0 ? "Flash und EEPROM" : "Flash")
                      << " gelöscht (alle Bytes 0xFF, Lock-Bits frei).\n";
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
                      << (written == 1 ? " Byte" : " Bytes") << " geschrieben, "
                      << AllBytes(session) << " stimmen überein, CRC-16 "
                      << FormatCrc(CrcOf(image, session.Size())) << ", "
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
                            " (CRC-16 Datei " + FormatCrc(CrcOf(source.image, session.Size())) +
                            ", Chip " + FormatCrc(CrcOf(chip, session.Size())) + ").");
        }
        m_context.out << "Chip und Datei stimmen in allen " << session.Size() << " Bytes"
                      << (session.Memory() == ChipMemory::Eeprom ? " des EEPROM" : "")
                      << " überein, CRC-16 " << FormatCrc(CrcOf(source.image, session.Size()))
                      << ".\n";
        return kExitOk;
    }

    int Read(ChipSession& session) {
        std::vector<FlashImage> seen;
        const StepResult result = ReadChips(session, seen);
        if (!result.ok()) return Report(result, session);
        const FlashImage& chip = seen.front();
        session.Close();
        const bool hex = HasHexExtension(m_options.file);
        if (const std::string failed = SaveRead(m_options.file, chip, session.Size());
            !failed.empty()) {
            return Fail(kExitFailure, failed);
        }
        m_context.out << session.Size() << " Bytes"
                      << (session.Memory() == ChipMemory::Eeprom ? " des EEPROM" : "")
                      << " gelesen, CRC-16 " << FormatCrc(CrcOf(chip, session.Size()))
                      << ", gespeichert in " << Quoted(m_options.file)
                      << (hex ? " (Intel-HEX).\n" : " (binär).\n");
        return kExitOk;
    }

    int Lock(ChipSession& session) {
        const StepResult locked = LockChips(session, m_options.lockBits);
        if (!locked.ok()) return Report(locked, session);
        const LockBitChoice& bits = m_options.lockBits;
        m_context.out << "Lock-Bits "
                      << LockList((bits[0] ? 1 : 0) | (bits[1] ? 2 : 0) | (bits[2] ? 4 : 0))
                      << (session.Chip().lockBitsReadable
                              ? " geschrieben und zurückgelesen (nur erase löscht sie).\n"
                              : " geschrieben (werden nicht zurückgelesen; nur erase löscht "
                                "sie).\n");
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
                step = LockChips(session, m_options.lockBits);
                break;
            default:
                break;
        }
        // Failing sockets end no run; only what ends it for all of them does.
        if (!step.ok() && step.outcome != StepOutcome::WriteFailed &&
            step.outcome != StepOutcome::NoChip) {
            return Report(step, session);
        }
        return GangResults(session, command, seen);
    }

    int GangResults(ChipSession& session, Command command, const std::vector<FlashImage>& seen) {
        session.Close();
        int status = kExitOk;
        std::string lines;
        for (unsigned socket = 0; socket < session.Sockets(); ++socket) {
            const SocketResult& result = session.Socket(socket);
            if (!result.ok()) status = kExitFailure;
            lines += SocketLine(socket, result);
            if (command == Command::Read && result.ok()) {
                const std::string path = OutputOfSocket(m_options, socket);
                const std::string saved = SaveRead(path, seen[socket], session.Size());
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
    std::string SaveRead(const std::string& path, const FlashImage& chip, std::uint32_t size) {
        const bool hex = HasHexExtension(path);
        const std::string text = hex ? FormatIntelHex(chip) : std::string();
        const OutputResult saved =
            hex ? WriteOutputFile(path, reinterpret_cast<const std::uint8_t*>(text.data()),
                                  text.size())
                : WriteOutputFile(path, chip.data(), size);
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

LinkSetup CreateLinkForCli(const std::string& trace, PortChoice port, unsigned sockets,
                           const std::string& serial) {
    return CreateLink(CliPortEnvironment(trace, port, sockets, serial));
}

}  // namespace velmo::cli
