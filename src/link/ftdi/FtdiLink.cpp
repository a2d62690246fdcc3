#include "link/ftdi/FtdiLink.h"

#include <algorithm>
#include <map>
#include <utility>

#include "isp/At89s53.h"
#include "sys/Files.h"

namespace velmo {

namespace {

// The latency timer sends what answers there are after this long; the MPSSE's send-immediate
// command and a full bit-bang answer send them at once anyway.
constexpr std::uint8_t kLatencyMs = 1;
// The bytes Close may still add to a transfer.
constexpr std::size_t kCloseReserve = 2;

std::string DeviceLine(const FtdiDevice& device) {
    std::string line = std::string("  ") + FtdiChipName(device.chip);
    line += device.serial.empty() ? ", ohne Seriennummer" : ", Seriennummer " + device.serial;
    if (!device.description.empty()) line += ", \"" + device.description + "\"";
    line += ", Bus " + std::to_string(device.bus) + ", Gerät " + std::to_string(device.address);
    return line;
}

std::string DeviceList(const std::vector<FtdiDevice>& devices) {
    std::string text;
    for (const FtdiDevice& device : devices) text += "\n" + DeviceLine(device);
    return text;
}

char InterfaceLetter(unsigned channel) {
    return static_cast<char>('A' + channel);
}

}  // namespace

FtdiLink::FtdiLink(std::unique_ptr<FtdiSystem> system, Clock& clock, FtdiConfig config,
                   unsigned sockets, std::string tracePath)
    : m_system(std::move(system)),
      m_clock(clock),
      m_config(std::move(config)),
      m_sockets(std::clamp(sockets, 1u, kMaxSockets)),
      m_tracePath(std::move(tracePath)) {}

FtdiLink::~FtdiLink() {
    if (m_open) Release();
}

std::string FtdiLink::Name() const {
    std::string name = FtdiChipName(m_device.chip);
    if (!m_device.serial.empty()) return name + " (Seriennummer " + m_device.serial + ")";
    return name + " (Bus " + std::to_string(m_device.bus) + ", Gerät " +
           std::to_string(m_device.address) + ")";
}

void FtdiLink::StartDriver() {
    if (m_active) return;
    m_refused = false;
    if (!Start() && m_open) {
        m_system->Close();
        m_open = false;
    }
}

bool FtdiLink::Choose(FtdiDevice& chosen) {
    std::vector<FtdiDevice> devices;
    if (!m_system->List(devices)) {
        m_message = "Die USB-Geräte können nicht abgefragt werden: " + m_system->ErrorText() + ".";
        return false;
    }
    std::vector<FtdiDevice> matches;
    std::map<std::pair<std::uint16_t, std::uint16_t>, unsigned> sameIds;
    for (const FtdiDevice& device : devices) {
        const unsigned before = sameIds[{device.vendor, device.product}]++;
        if (!m_config.serial.empty() && device.serial != m_config.serial) continue;
        if (SelectorMatches(m_config.selector, device, before)) matches.push_back(device);
    }
    if (matches.empty() && devices.empty()) {
        m_message =
            "Kein FTDI-USB-Adapter gefunden (FT232R, FT231X, FT232H, FT2232H oder FT4232H). Ist "
            "er eingesteckt? lsusb zeigt ihn als 0403:6001, 6010, 6011, 6014 oder 6015.";
        return false;
    }
    if (matches.empty()) {
        std::string asked = m_config.serial.empty() ? "" : "Seriennummer " + m_config.serial;
        if (!m_config.device.empty()) {
            asked += (asked.empty() ? "" : " und ") + std::string("device=") + m_config.device;
        }
        m_message =
            "Kein USB-Adapter passt zu " + asked + "; angeschlossen sind:" + DeviceList(devices);
        return false;
    }
    if (matches.size() > 1) {
        m_refused = true;
        m_message =
            "Mehrere USB-Adapter angeschlossen; bitte einen wählen mit --port ftdi:SERIENNUMMER "
            "oder VELMO_FTDI=serial=SERIENNUMMER (ohne Seriennummer: "
            "VELMO_FTDI=device=d:BUS/GERÄT):" +
            DeviceList(matches);
        return false;
    }
    chosen = matches.front();
    return true;
}

bool FtdiLink::Start() {
    if (!m_system) {
        m_message =
            "Dieses Programm wurde ohne USB-Unterstützung gebaut (libftdi1 fehlte beim Bauen); "
            "für VELMO_PORT=ftdi muss es mit dem Debian-Paket libftdi1-dev gebaut werden.";
        return false;
    }
    if (!Choose(m_device)) return false;
    const std::string noAccess =
        "Kein Zugriff auf den USB-Adapter " + Name() +
        ". Die udev-Regel 60-velmo-ftdi.rules (mit dem Paket in /usr/lib/udev/rules.d, sonst "
        "nach /etc/udev/rules.d kopieren) gibt FTDI-Adapter der Gruppe plugdev: sudo adduser "
        "\"$USER\" plugdev, danach neu anmelden und den Adapter neu einstecken.";
    if (!m_device.accessible) {
        m_message = noAccess;
        return false;
    }
    const std::optional<FtdiDrive> drive = DriveOf(m_device.chip, m_config.channel);
    if (!drive) {
        m_message = "Der USB-Adapter " + Name() + " kann auf Schnittstelle " +
                    InterfaceLetter(m_config.channel) +
                    " weder MPSSE noch synchronen Bitbang (brauchbar: FT232R, FT231X und FT232H "
                    "auf A, FT2232H und FT4232H auf A oder B).";
        return false;
    }
    m_drive = *drive;
    std::string error;
    const std::optional<FtdiPins> pins = ResolveFtdiPins(m_config, m_drive, m_sockets, &error);
    if (!pins) {
        m_refused = true;
        m_message = error;
        return false;
    }
    if (m_drive == FtdiDrive::Mpsse) {
        m_wire = std::make_unique<MpsseWire>(*pins, m_device.chip);
    } else {
        m_wire = std::make_unique<BitBangWire>(*pins);
    }
    const int opened = m_system->Open(m_device, m_config.channel);
    if (opened == FtdiSystem::kNoAccess) {
        m_message = noAccess;
        return false;
    }
    if (opened < 0) {
        m_message = "Der USB-Adapter " + Name() +
                    " lässt sich nicht öffnen: " + m_system->ErrorText() + ".";
        return false;
    }
    m_open = true;
    // A restart goes on in the same file and time line.
    if (!m_tracePath.empty() && !m_trace) {
        auto trace = std::make_unique<VcdRecorder>(m_tracePath);
        if (!trace->Open(m_clock.NowNs())) {
            m_message = trace->OpenError();
            return false;
        }
        std::array<int, kIspLineCount> levels{};
        levels[static_cast<std::size_t>(IspLine::Miso)] = -1;
        levels[static_cast<std::size_t>(IspLine::Ready)] = -1;
        trace->Begin(levels);
        m_trace = std::move(trace);
    }
    m_wire->RecordEvents(m_trace != nullptr);
    if (!Configure()) return false;
    m_message = std::string("USB-Adapter ") + Name() +
                (m_drive == FtdiDrive::Mpsse ? ", MPSSE" : ", synchroner Bitbang") +
                (m_config.channel > 0
                     ? ", Schnittstelle " + std::string(1, InterfaceLetter(m_config.channel))
                     : std::string()) +
                ": " + DescribeFtdiPins(*pins, m_drive);
    if (m_trace) m_message += ", Aufzeichnung der Leitungen in \"" + m_tracePath + "\"";
    return true;
}

// The pins start at rest: every output low at the target, which holds it out of reset.
bool FtdiLink::Configure() {
    m_active = true;
    const auto failed = [this](int result) {
        if (result >= 0) return false;
        Fail("lässt sich nicht einrichten");
        return true;
    };
    if (failed(m_system->Purge()) || failed(m_system->SetLatencyTimer(kLatencyMs))) return false;
    if (m_drive == FtdiDrive::SyncBitBang) {
        // The rate after the mode: libftdi multiplies it by 4 only in bit-bang mode.
        if (failed(m_system->SetBitMode(m_wire->OutputMask(), FtdiBitMode::SyncBitBang))) {
            return false;
        }
        const std::optional<int> rate = m_wire->RateFor(at89s53::kFixedHalfPeriodUs);
        if (rate) {
            if (failed(m_system->SetBaudRate(*rate))) return false;
            m_wire->UseRate(*rate);
        }
    } else if (failed(m_system->SetBitMode(0x00, FtdiBitMode::Mpsse))) {
        return false;
    }
    m_wire->Begin();
    if (!Flush()) return false;
    if (!m_wire->BeginAnswered(m_in)) {
        Fail("antwortet nicht wie ein " + std::string(FtdiChipName(m_device.chip)));
        return false;
    }
    return true;
}

void FtdiLink::StopDriver() {
    if (m_open) Release();
    m_message = "Der USB-Adapter ist nicht gestartet.";
    if (m_trace) m_trace->Finish();
}

// RST low first, so the target runs its program, then every pin an input.
void FtdiLink::Release() {
    if (m_active) {
        m_wire->SetLevel(IspLine::Rst, false);
        m_wire->ReleasePins();
        // Back in its serial mode an FT232R would drive DTR, the RST pin, high again.
        if (Flush() && m_drive == FtdiDrive::SyncBitBang) {
            m_system->SetBitMode(0x00, FtdiBitMode::SyncBitBang);
        }
    }
    m_active = false;
    m_system->Close();
    m_open = false;
}

void FtdiLink::Fail(const std::string& what) {
    const std::string reason = m_system->ErrorText();
    m_message = "Der USB-Adapter " + Name() + " " + what +
                (reason.empty() ? std::string() : " (" + reason + ")") +
                "; ist er noch eingesteckt? Der Vorgang wurde abgebrochen.";
    m_active = false;
    for (const Pending& pending : m_pending) {
        if (pending.input) m_inputsAnswered = false;
    }
    m_pending.clear();
    m_wire->Clear();
    m_system->Close();
    m_open = false;
}

bool FtdiLink::Flush() {
    if (!m_active) return false;
    if (m_wire->Empty()) return true;
    m_wire->Close();
    const std::int64_t startNs = m_clock.NowNs();
    const std::vector<std::uint8_t>& out = m_wire->Out();
    if (m_system->Write(out.data(), out.size()) != static_cast<int>(out.size())) {
        Fail("nimmt keine Daten mehr an");
        return false;
    }
    m_in.assign(m_wire->Answers(), 0);
    if (m_system->Read(m_in.data(), m_in.size()) != static_cast<int>(m_in.size())) {
        Fail("antwortet nicht mehr");
        return false;
    }
    for (const Pending& pending : m_pending) {
        if (pending.input) {
            if (m_wire->DecodeInput(pending.line, pending.answer, m_in) != pending.level) {
                m_inputsAnswered = false;
            }
        } else if (m_entries) {
            (*m_entries)[pending.entry] = m_wire->DecodeByte(pending.answer, m_in, m_sockets);
        }
    }
    if (m_trace) Record(startNs);
    m_pending.clear();
    m_wire->Clear();
    return true;
}

void FtdiLink::Record(std::int64_t startNs) {
    for (const FtdiWire::Event& event : m_wire->Events()) {
        const std::int64_t at = startNs + event.atNs;
        switch (event.kind) {
            case FtdiWire::Event::Kind::Outputs:
                for (const CableLine& wire : kCable) {
                    if (!wire.output) continue;
                    const unsigned bit = static_cast<unsigned>(wire.line);
                    m_trace->Record(wire.line, ((event.outputs >> bit) & 1) != 0, at);
                }
                break;
            case FtdiWire::Event::Kind::Miso:
                m_trace->Record(IspLine::Miso, m_wire->DecodeMisoBit(event.answer, event.bit, m_in),
                                at);
                break;
            case FtdiWire::Event::Kind::Ready:
                m_trace->Record(IspLine::Ready,
                                m_wire->DecodeInput(IspLine::Ready, event.answer, m_in), at);
                break;
        }
    }
}

void FtdiLink::Wait(std::uint32_t microseconds) {
    if (microseconds == 0 || !m_active || m_wire->Wait(microseconds)) return;
    if (Flush()) m_clock.Delay(microseconds);
}

bool FtdiLink::RunSequence(std::span<const LineStep> steps) {
    m_inputsAnswered = true;
    if (!m_active) return false;
    for (const LineStep& step : steps) {
        if (!m_active) break;
        if (m_wire->Out().size() + 8 > m_wire->Budget()) Flush();
        if (CableOf(step.line).output) {
            m_wire->SetLevel(step.line, step.level);
        } else {
            m_pending.push_back({true, 0, m_wire->SampleInputs(), step.line, step.level});
        }
        Wait(step.afterUs);
    }
    Flush();
    return m_inputsAnswered && m_active;
}

void FtdiLink::ShiftInstruction(const Instruction& instruction, std::size_t entry) {
    if (const std::optional<int> rate = m_wire->RateFor(instruction.halfPeriodUs)) {
        if (!Flush()) return;
        if (m_system->SetBaudRate(*rate) < 0) {
            Fail("nimmt keinen neuen Takt an");
            return;
        }
        m_wire->UseRate(*rate);
    }
    if (m_wire->Out().size() + m_wire->CostOf(instruction) + kCloseReserve > m_wire->Budget() &&
        !Flush()) {
        return;
    }
    const std::size_t length = std::min<std::size_t>(instruction.length, kMaxInstructionBytes);
    for (std::size_t i = 0; i < length && m_active; ++i) {
        const bool last = i + 1 == length;
        const bool sample = last && instruction.readsLast;
        const std::size_t answer = m_wire->ShiftByte(instruction.bytes[i], instruction.halfPeriodUs,
                                                     instruction.mode, sample);
        if (sample) m_pending.push_back({false, entry, answer});
        if (!last) Wait(instruction.gapUs);
    }
    Wait(instruction.afterUs);
}

void FtdiLink::Transfer(std::span<const Instruction> batch, std::vector<SocketBytes>& answers) {
    m_entries = &answers;
    for (const Instruction& instruction : batch) {
        answers.push_back({});
        if (m_active) ShiftInstruction(instruction, answers.size() - 1);
    }
    Flush();
    m_entries = nullptr;
}

// As many reads as fit in one transfer: a read is the instruction a batch holds most of.
unsigned FtdiLink::PollsPerTransfer() const {
    if (!m_wire) return 1;
    const Instruction read = at89s53::ReadCode(0, 1);
    const std::size_t fit = (m_wire->Budget() - kCloseReserve) / m_wire->CostOf(read);
    return static_cast<unsigned>(std::max<std::size_t>(fit, 1));
}

std::string FtdiLink::FinishFile() {
    return m_trace ? m_trace->Finish() : std::string();
}

bool FtdiLink::IsFile(const std::string& path) const {
    return !m_tracePath.empty() && sys::SameFile(path, m_tracePath);
}

}  // namespace velmo
