#include "cli/CliOptions.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include "port/SettingText.h"

#ifndef VELMO_VERSION
#define VELMO_VERSION "unbekannt"
#endif

namespace velmo::cli {

namespace {

struct CommandEntry {
    const char* name;
    Command command;
    int arguments;  // positional arguments it takes, exactly
};
constexpr CommandEntry kCommands[] = {
    {"info", Command::Info, 1},     {"erase", Command::Erase, 0}, {"program", Command::Program, 1},
    {"verify", Command::Verify, 1}, {"read", Command::Read, 1},   {"lock", Command::Lock, 1},
};

// A crystal outside this range is not an AT89S53's; far below it the bit delay would make a
// single program take hours.
constexpr double kMinClockMHz = 1.0;
constexpr double kMaxClockMHz = 100.0;
// The port's status and control registers lie at base+1 and base+2.
constexpr unsigned kMaxPortAddress = 0xFFFD;
// A gang fixture's sockets; a GPIO read brings every MISO line at once.
constexpr unsigned kMaxSockets = 8;

std::optional<std::uint16_t> ParsePort(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    unsigned value = 0;
    if (text.empty() || text.size() > 4) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (value == 0 || value > kMaxPortAddress) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// from_chars reads the C locale's decimal point whatever locale the process has.
std::optional<double> ParseClock(std::string_view text) {
    double value = 0;
    if (text.empty()) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(value) || value < kMinClockMHz || value > kMaxClockMHz) return std::nullopt;
    return value;
}

// The chip's protection modes build on each other: Lock-Bit 1, then 1 and 2, then all three.
std::optional<std::array<bool, 3>> ParseLockBits(std::string_view text) {
    std::array<bool, 3> bits{};
    std::size_t count = 0;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        if (item.size() != 1 || item[0] < '1' || item[0] > '3') return std::nullopt;
        const std::size_t index = static_cast<std::size_t>(item[0] - '1');
        if (bits[index]) return std::nullopt;
        bits[index] = true;
        ++count;
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!bits[i]) return std::nullopt;
    }
    return bits;
}

ParseResult Fail(std::string message) {
    ParseResult result;
    result.error = std::move(message);
    return result;
}

const CommandEntry* FindCommand(std::string_view name) {
    for (const CommandEntry& entry : kCommands) {
        if (name == entry.name) return &entry;
    }
    return nullptr;
}

}  // namespace

const char* CommandName(Command command) {
    for (const CommandEntry& entry : kCommands) {
        if (entry.command == command) return entry.name;
    }
    return "";
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
    CliOptions options;
    std::vector<std::string> positional;
    // The way program writes, as the options named it (the last of a repeated one counts).
    std::vector<std::string> ways;
    bool optionsEnded = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            continue;
        }
        if (arg == "-V" || arg == "--version") {
            options.version = true;
            continue;
        }
        if (arg == "--all" || arg == "--skip-blank" || arg == "--changed-only") {
            if (std::find(ways.begin(), ways.end(), arg) == ways.end()) ways.push_back(arg);
            continue;
        }
        // The options that take a value.
        std::string name = arg;
        std::optional<std::string> value;
        if (const std::size_t equals = arg.find('='); equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        if (name != "--port" && name != "--mode" && name != "--clock" && name != "--trace" &&
            name != "--sockets" && name != "--report" && name != "--chip" && name != "--memory") {
            return Fail("Unbekannte Option \"" + arg + "\".");
        }
        if (!value) {
            if (i + 1 >= args.size()) return Fail("Die Option " + name + " braucht einen Wert.");
            value = args[++i];
        }
        if (name == "--port") {
            if (Lowercase(*value) == "gpio") {
                options.portChoice = PortChoice::Gpio;
                continue;
            }
            if (Lowercase(value->substr(0, 4)) == "ftdi" &&
                (value->size() == 4 || (*value)[4] == ':')) {
                options.portChoice = PortChoice::Ftdi;
                options.adapterSerial = value->size() > 5 ? value->substr(5) : std::string();
                if (value->size() == 5) {
                    return Fail(
                        "--port ftdi: nennt keine Seriennummer (z. B. --port "
                        "ftdi:A10K3X2Q, oder nur --port ftdi).");
                }
                continue;
            }
            const auto port = ParsePort(*value);
            if (!port) {
                return Fail(
                    "Ungültige Port-Adresse \"" + *value +
                    "\" (erwartet: hexadezimal, z. B. 378, 278 oder 3BC, oder gpio oder ftdi).");
            }
            options.port = *port;
            options.portChoice = PortChoice::Parallel;
        } else if (name == "--mode") {
            const std::string mode = Lowercase(*value);
            if (mode == "board") {
                options.mode = ProgrammerMode::Board;
            } else if (mode == "raw") {
                options.mode = ProgrammerMode::Raw;
            } else {
                return Fail("Ungültiger Modus \"" + *value + "\" (erwartet: board oder raw).");
            }
        } else if (name == "--clock") {
            const auto clock = ParseClock(*value);
            if (!clock) {
                return Fail("Ungültige Taktfrequenz \"" + *value +
                            "\" (erwartet: MHz von 1 bis 100, z. B. 24 oder 11.0592).");
            }
            options.clockMHz = *clock;
        } else if (name == "--chip") {
            if (Lowercase(*value) == "auto") {
                options.chip.reset();
                continue;
            }
            options.chip = chip::FromOption(*value);
            if (!options.chip) {
                return Fail("Ungültiger Chip \"" + *value +
                            "\" (erwartet: auto, at89s51, at89s52, at89s53, at89s8252 oder "
                            "at89s8253).");
            }
        } else if (name == "--memory") {
            const std::string memory = Lowercase(*value);
            if (memory != "flash" && memory != "eeprom") {
                return Fail("Ungültiger Speicher \"" + *value +
                            "\" (erwartet: flash oder eeprom).");
            }
            options.memory = memory == "eeprom" ? ChipMemory::Eeprom : ChipMemory::Flash;
        } else if (name == "--sockets") {
            unsigned sockets = 0;
            const auto [end, ec] =
                std::from_chars(value->data(), value->data() + value->size(), sockets);
            if (ec != std::errc{} || end != value->data() + value->size() || sockets < 1 ||
                sockets > kMaxSockets) {
                return Fail("Ungültige Zahl von Sockeln \"" + *value + "\" (erwartet: 1 bis 8).");
            }
            options.sockets = sockets;
        } else {
            if (value->empty()) return Fail("Die Option " + name + " braucht einen Dateinamen.");
            (name == "--trace" ? options.trace : options.report) = *value;
        }
    }

    if (options.version && !options.help && positional.empty()) {
        ParseResult result;
        result.ok = true;
        result.options = options;
        return result;
    }
    if (positional.empty()) {
        if (options.help) {
            ParseResult result;
            result.ok = true;
            result.options = options;
            return result;
        }
        return Fail("Kein Befehl angegeben.");
    }
    const CommandEntry* entry = FindCommand(positional.front());
    if (!entry) return Fail("Unbekannter Befehl \"" + positional.front() + "\".");
    options.command = entry->command;
    const std::size_t given = positional.size() - 1;

    if (options.help) {
        // Help wins over a missing argument: "velmo-cli program --help" is a question.
        ParseResult result;
        result.ok = true;
        result.options = options;
        return result;
    }
    if (!ways.empty() && entry->command != Command::Program) {
        return Fail(ways.front() + " gilt nur für program.");
    }
    if (ways.size() > 1) return Fail(ways[0] + " und " + ways[1] + " schließen sich aus.");
    if (given < static_cast<std::size_t>(entry->arguments)) {
        static const char* const kMissing[] = {"", "eine Datei", "eine Ausgabedatei",
                                               "die Lock-Bits (1, 1,2 oder 1,2,3)"};
        int what = 1;
        if (entry->command == Command::Read) what = 2;
        if (entry->command == Command::Lock) what = 3;
        return Fail(std::string(entry->name) + " braucht " + kMissing[what] + ".");
    }
    if (given > static_cast<std::size_t>(entry->arguments)) {
        return Fail("Zu viele Argumente für " + std::string(entry->name) + ": \"" +
                    positional[static_cast<std::size_t>(entry->arguments) + 1] + "\".");
    }
    if (entry->command == Command::Lock) {
        const auto bits = ParseLockBits(positional[1]);
        if (!bits) {
            return Fail("Ungültige Lock-Bits \"" + positional[1] +
                        "\" (erlaubt: 1, 1,2 oder 1,2,3).");
        }
        options.lockBits = *bits;
    } else if (entry->arguments == 1) {
        if (positional[1].empty()) return Fail("Leerer Dateiname.");
        options.file = positional[1];
    }
    if (!options.report.empty() && entry->command == Command::Info) {
        return Fail("--report gilt für die Befehle am Chip, nicht für info.");
    }
    // The board answers one chip on READY; a gang fixture is a plain cable to every socket.
    if (options.sockets > 1 && options.mode == ProgrammerMode::Board) {
        return Fail("Mehrere Sockel (--sockets) gehen nur mit dem einfachen Kabel: --mode raw.");
    }
    if (options.sockets > 1 && entry->command == Command::Read &&
        options.file.find("{n}") == std::string::npos) {
        return Fail(
            "Mit mehreren Sockeln braucht read einen Dateinamen mit {n}, das für die "
            "Nummer des Sockels steht (z. B. chip{n}.bin).");
    }
    if (!ways.empty()) {
        if (ways.front() == "--all") options.strategy = ProgramStrategy::All;
        if (ways.front() == "--changed-only") options.strategy = ProgramStrategy::ChangedOnly;
    }
    if (options.memory == ChipMemory::Eeprom && entry->command != Command::Program &&
        entry->command != Command::Verify && entry->command != Command::Read) {
        return Fail("--memory eeprom gilt nur für program, verify und read.");
    }
    if (options.chip) {
        if (std::string refusal = ChipRefusal(options, chip::Describe(*options.chip));
            !refusal.empty()) {
            return Fail(std::move(refusal));
        }
    }

    ParseResult result;
    result.ok = true;
    result.options = options;
    return result;
}

std::string ChipRefusal(const CliOptions& options, const ChipDescription& chip) {
    const std::string name = chip.name;
    if (options.memory == ChipMemory::Eeprom && chip.eepromSize == 0) {
        std::string reason = "Der " + name + " hat kein EEPROM (nur AT89S8252 und AT89S8253).";
        if (!options.chip) reason += " Für einen AT89S8252: --chip at89s8252.";
        return reason;
    }
    if (options.command == Command::Program && options.strategy == ProgramStrategy::ChangedOnly &&
        !chip.ErasesCellsItself(options.memory)) {
        return "--changed-only geht nur, wo der Chip eine Zelle beim Schreiben selbst löscht "
               "(AT89S53, AT89S8252 und das EEPROM); den Flash des " +
               name +
               " kann erst ein Löschen des ganzen Chips neu beschreiben: velmo-cli program " +
               options.file + ".";
    }
    return {};
}

std::string VersionText() {
    return "velmo-cli " VELMO_VERSION
           " (Velmo-Programmer für AT89S53, AT89S51, AT89S52, "
           "AT89S8252 und AT89S8253)\n";
}

std::string GeneralHelp() {
    return "Aufruf: velmo-cli [Optionen] <Befehl> [Argument]\n"
           "\n"
           "Programmiert einen AT89S53, AT89S51, AT89S52, AT89S8252 oder AT89S8253 über die\n"
           "Parallelschnittstelle, über GPIO-Leitungen (z. B. eines Raspberry Pi) oder einen\n"
           "FTDI-USB-Adapter.\n"
           "\n"
           "Befehle:\n"
           "  info DATEI          Format, belegte Adressen und CRC-16 einer Datei zeigen\n"
           "  erase               Flash, EEPROM und Lock-Bits des Chips löschen\n"
           "  program DATEI       löschen, die Bytes ungleich 0xFF schreiben, alle verifizieren\n"
           "                        --all           alle Bytes schreiben, auch 0xFF\n"
           "                        --changed-only  nur abweichende Bytes schreiben, ohne Löschen\n"
           "  verify DATEI        alle Bytes des Chips mit der Datei vergleichen\n"
           "  read AUSGABE        Chip auslesen (.hex/.ihx: Intel-HEX, sonst binär, so groß\n"
           "                        wie der Speicher des Chips)\n"
           "  lock 1[,2[,3]]      Lock-Bits setzen\n"
           "\n"
           "Optionen:\n"
           "  --port ADRESSE      Basisadresse des Parallelports, hexadezimal (Standard: 378)\n"
           "  --port gpio         GPIO-Leitungen (z. B. Raspberry Pi) statt Parallelport;\n"
           "                        Chip und Leitungen aus VELMO_GPIO\n"
           "  --port ftdi[:SN]    FTDI-USB-Adapter (FT232H, FT2232H, FT4232H, FT232R, FT231X),\n"
           "                        mit :SN der mit der Seriennummer SN; Pins aus VELMO_FTDI\n"
           "  --mode board|raw    Velmo-Board oder einfaches Kabel (Standard: board)\n"
           "  --clock MHZ         Quarzfrequenz des Chips (Standard: 24)\n"
           "  --chip CHIP         at89s51, at89s52, at89s53, at89s8252, at89s8253 oder auto\n"
           "                        (Standard: auto erkennt AT89S51, AT89S52 und AT89S8253 an\n"
           "                        ihrer Signatur und nimmt sonst einen AT89S53 an)\n"
           "  --memory flash|eeprom  Flash oder EEPROM (AT89S8252, AT89S8253) für program,\n"
           "                        verify und read (Standard: flash)\n"
           "  --trace DATEI.vcd   Leitungen als VCD-Datei aufzeichnen\n"
           "  --sockets N         N Chips auf einmal (1 bis 8, nur mit --mode raw): MOSI, SCK\n"
           "                        und RST gehen an alle, jeder Sockel antwortet auf seiner\n"
           "                        MISO-Leitung; read schreibt je Sockel eine Datei ({n} im\n"
           "                        Namen steht für die Nummer des Sockels)\n"
           "  --report DATEI      das Ergebnis jedes Sockels als JSON in DATEI schreiben\n"
           "  -h, --help          diese Hilfe; velmo-cli BEFEHL --help für einen Befehl\n"
           "  -V, --version       Version zeigen\n"
           "\n"
           "Dateien werden nach ihrem Inhalt als Intel-HEX oder binär gelesen.\n"
           "Der Port-Treiber kommt aus VELMO_PORT (auto, ppdev, direct, gpio, ftdi, sim);\n"
           "--port geht vor: gpio wählt die GPIO-Leitungen, ftdi den USB-Adapter, eine Adresse\n"
           "einen Parallelport.\n"
           "\n"
           "Rückgabewerte: 0 Erfolg (bei mehreren Sockeln: in jedem Sockel), 1 Fehler am Gerät,\n"
           "bei der Verifizierung oder beim Schreiben der Ausgabedatei, 2 falscher Aufruf oder\n"
           "unbrauchbare Eingabedatei,\n"
           "130 mit Strg+C abgebrochen (die Leitungen sind dann freigegeben).\n";
}

std::string CommandHelp(Command command) {
    switch (command) {
        case Command::Info:
            return "Aufruf: velmo-cli info DATEI\n"
                   "\n"
                   "Zeigt, als was die Datei gelesen wird (Intel-HEX oder binär), welche Bytes\n"
                   "die Datei liefert, mit ihren Adressbereichen, wie viele davon nicht 0xFF\n"
                   "sind, und die CRC-16 aller 12288 Bytes des Abbilds. Braucht keinen Chip.\n";
        case Command::Erase:
            return "Aufruf: velmo-cli [Optionen] erase\n"
                   "\n"
                   "Löscht den ganzen Flash (alle Bytes 0xFF), beim AT89S8252 und AT89S8253\n"
                   "auch das EEPROM, und die Lock-Bits. Wartet, bis der Chip das Löschen\n"
                   "meldet (er liest dann 0xFF statt 0x00).\n";
        case Command::Program:
            return "Aufruf: velmo-cli [Optionen] program [--all | --changed-only] DATEI\n"
                   "\n"
                   "Ohne Zusatz: Chip löschen, nur die Bytes schreiben, die nicht 0xFF sind\n"
                   "(eine gelöschte Zelle hält schon 0xFF), dann alle Bytes des Chips (AT89S53:\n"
                   "12288) zurücklesen und vergleichen. Jedes Byte gilt als geschrieben, sobald\n"
                   "der Chip es zurückgibt (Data Polling, höchstens 250 ms je Byte). Der\n"
                   "AT89S8253 wird seitenweise geschrieben (64 Bytes je Seite). Das Löschen\n"
                   "leert beim AT89S8252 und AT89S8253 auch das EEPROM.\n"
                   "\n"
                   "  --all           Chip löschen, alle Bytes schreiben, auch die 0xFF;\n"
                   "                  danach alle zurücklesen und vergleichen.\n"
                   "  --skip-blank    wie ohne Zusatz (für ältere Skripte).\n"
                   "  --changed-only  Nicht löschen: jede Zelle lesen und nur die schreiben, die\n"
                   "                  von der Datei abweichen (der Chip löscht eine geschriebene\n"
                   "                  Zelle selbst: AT89S53, AT89S8252 und das EEPROM). Jede\n"
                   "                  Zelle wird dabei gelesen, jede geschriebene danach noch\n"
                   "                  einmal; verglichen werden alle Bytes. Bei gesetztem\n"
                   "                  Lock-Bit scheitert das Schreiben: dann hilft ein\n"
                   "                  vollständiges program.\n"
                   "\n"
                   "Mit --memory eeprom wird nichts gelöscht: die Zellen des EEPROM löschen sich\n"
                   "selbst, geschrieben werden die abweichenden (mit --all alle).\n";
        case Command::Verify:
            return "Aufruf: velmo-cli [Optionen] verify DATEI\n"
                   "\n"
                   "Liest alle Bytes des Chips und vergleicht sie Byte für Byte mit der\n"
                   "Datei. Bei Abweichung: erste abweichende Adresse mit beiden Werten und die\n"
                   "Zahl der abweichenden Bytes; Rückgabewert 1.\n";
        case Command::Read:
            return "Aufruf: velmo-cli [Optionen] read AUSGABE\n"
                   "\n"
                   "Liest alle Bytes des Chips. Endet AUSGABE auf .hex oder .ihx, entsteht\n"
                   "eine Intel-HEX-Datei mit Datensätzen zu 16 Bytes und Endesatz; Datensätze,\n"
                   "die nur 0xFF enthalten (gelöschte Zellen), werden ausgelassen. Sonst\n"
                   "entsteht eine Binärdatei so groß wie der Speicher (AT89S53: 12288 Bytes).\n";
        case Command::Lock:
            return "Aufruf: velmo-cli [Optionen] lock 1[,2[,3]]\n"
                   "\n"
                   "Setzt Lock-Bit 1 (kein weiteres Schreiben), 1,2 (auch kein Auslesen) oder\n"
                   "1,2,3; beim AT89S51 und AT89S52 als Modus 2, 3 und 4 nacheinander. Der\n"
                   "AT89S51, AT89S52 und AT89S8253 lesen sie zurück, AT89S53 und AT89S8252\n"
                   "nicht. Nur erase löscht sie wieder.\n";
        case Command::None:
            break;
    }
    return GeneralHelp();
}

}  // namespace velmo::cli
