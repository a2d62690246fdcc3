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

bool Runner::FitsChip(const LoadedImage& source, const ChipDescription& chip, int& status) {
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

std::string Runner::MemoryName(const ChipDescription& chip) const {
    return std::string(m_options.memory == ChipMemory::Eeprom ? "das EEPROM des "
                                                              : "der Flash des ") +
           chip.name;
}

std::string Runner::AllBytes(const ChipSession& session) {
    return "alle " + std::to_string(session.Size()) + " Bytes" +
           (session.Memory() == ChipMemory::Eeprom ? " des EEPROM" : "");
}

std::optional<int> Runner::Identify(ChipSession& session, const LoadedImage& source) {
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

bool Runner::SparesAnEeprom(ChipSession& session, const LoadedImage& source) {
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

int Runner::RunCommand(ChipSession& session, Command command, const LoadedImage& source,
                       Clock& clock, std::int64_t startNs) {
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

int Runner::WrongChip(const ChipSession& session, const SocketResult& socket) {
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

int Runner::Erase(ChipSession& session) {
    const StepResult erased = EraseChips(session);
    if (!erased.ok()) return Report(erased, session);
    m_context.out << (session.Chip().eepromSize > 0 ? "Flash und EEPROM" : "Flash")
                  << " gelöscht (alle Bytes 0xFF, Lock-Bits frei).\n";
    return kExitOk;
}

int Runner::Program(ChipSession& session, const LoadedImage& source, Clock& clock,
                    std::int64_t startNs) {
    std::vector<FlashImage> seen;
    const ProgramResult programmed = ProgramChips(session, source.image, m_options.strategy, seen);
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
                  << (written == 1 ? " Byte" : " Bytes") << " geschrieben, " << AllBytes(session)
                  << " stimmen überein, CRC-16 " << FormatCrc(CrcOf(image, session.Size())) << ", "
                  << Seconds(clock.NowNs() - startNs) << ".\n";
    return kExitOk;
}

int Runner::Verify(ChipSession& session, const LoadedImage& source) {
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
                  << " überein, CRC-16 " << FormatCrc(CrcOf(source.image, session.Size())) << ".\n";
    return kExitOk;
}

int Runner::Read(ChipSession& session) {
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

int Runner::Lock(ChipSession& session) {
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

int Runner::Gang(ChipSession& session, Command command, const LoadedImage& source) {
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

int Runner::GangResults(ChipSession& session, Command command,
                        const std::vector<FlashImage>& seen) {
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

std::string Runner::SaveRead(const std::string& path, const FlashImage& chip, std::uint32_t size) {
    const bool hex = HasHexExtension(path);
    const std::string text = hex ? FormatIntelHex(chip) : std::string();
    const OutputResult saved =
        hex ? WriteOutputFile(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size())
            : WriteOutputFile(path, chip.data(), size);
    if (saved.ok()) return {};
    return "Fehler beim Erzeugen der Datei " + Quoted(path) + ": " + DescribeOutputError(saved) +
           ".";
}
}  // namespace velmo::cli
