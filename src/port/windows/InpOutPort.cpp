#include "port/windows/InpOutPort.h"

#include <windows.h>

#include <cwchar>

#include "sys/Signals.h"
#include "sys/windows/Wide.h"

namespace velmo {

namespace {

constexpr wchar_t kLibrary[] = L"inpoutx64.dll";
// How often a start that waits for another run's port looks for a stop signal.
constexpr DWORD kClaimPollMs = 100;

// The library's functions; InpOut's 64-bit build takes the port address as a 16-bit value.
using DriverOpenFunction = BOOL(__stdcall*)();
using InpFunction = short(__stdcall*)(short);
using OutFunction = void(__stdcall*)(short, short);

class WindowsInpOutSystem : public InpOutSystem {
  public:
    ~WindowsInpOutSystem() override { Unload(); }

    InpOutLibrary Load() override {
        Unload();
        InpOutLibrary result;
        // Beside the program first, so that a copy there wins over one somewhere on PATH.
        const std::wstring beside = sys::Wide(ProgramFolder()) + L"\\" + kLibrary;
        m_module = ::LoadLibraryW(beside.c_str());
        if (m_module == nullptr) m_module = ::LoadLibraryW(kLibrary);
        if (m_module == nullptr) return result;
        wchar_t file[MAX_PATH] = {};
        ::GetModuleFileNameW(m_module, file, MAX_PATH);
        result.file = sys::Utf8(file);
        m_driverOpen = Function<DriverOpenFunction>("IsInpOutDriverOpen", result);
        m_inp = Function<InpFunction>("Inp32", result);
        m_out = Function<OutFunction>("Out32", result);
        result.loaded = result.missingFunction.empty();
        if (!result.loaded) Unload();
        return result;
    }

    void Unload() override {
        if (m_module != nullptr) ::FreeLibrary(m_module);
        m_module = nullptr;
        m_driverOpen = nullptr;
        m_inp = nullptr;
        m_out = nullptr;
    }

    bool DriverOpen() override { return m_driverOpen != nullptr && m_driverOpen() != FALSE; }

    std::uint8_t Inp(std::uint16_t address) override {
        return m_inp ? static_cast<std::uint8_t>(m_inp(static_cast<short>(address))) : 0;
    }

    void Out(std::uint16_t address, std::uint8_t value) override {
        if (m_out) m_out(static_cast<short>(address), static_cast<short>(value));
    }

    std::string ProgramFolder() override {
        std::wstring path(MAX_PATH, L'\0');
        DWORD length = 0;
        while ((length = ::GetModuleFileNameW(nullptr, path.data(),
                                              static_cast<DWORD>(path.size()))) == path.size()) {
            path.resize(path.size() * 2);
        }
        path.resize(length);
        const std::size_t slash = path.find_last_of(L"\\/");
        return sys::Utf8(slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash));
    }

  private:
    template <typename Pointer>
    Pointer Function(const char* name, InpOutLibrary& result) {
        const FARPROC address = ::GetProcAddress(m_module, name);
        if (address == nullptr && result.missingFunction.empty()) result.missingFunction = name;
        return reinterpret_cast<Pointer>(reinterpret_cast<void*>(address));
    }

    HMODULE m_module = nullptr;
    DriverOpenFunction m_driverOpen = nullptr;
    InpFunction m_inp = nullptr;
    OutFunction m_out = nullptr;
};

// Every run on this machine finds the same mutex for one port address, whoever started it.
HANDLE PortMutex(std::uint16_t base) {
    wchar_t name[64];
    std::swprintf(name, 64, L"Global\\Velmo-Parallelport-%04X", static_cast<unsigned>(base));
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name);
    if (mutex == nullptr) {
        // A session that may not make objects for all sessions keeps its runs apart at least.
        std::swprintf(name, 64, L"Local\\Velmo-Parallelport-%04X", static_cast<unsigned>(base));
        mutex = ::CreateMutexW(nullptr, FALSE, name);
    }
    return mutex;
}

}  // namespace

std::unique_ptr<InpOutSystem> MakeWindowsInpOutSystem() {
    return std::make_unique<WindowsInpOutSystem>();
}

InpOutPort::InpOutPort(std::unique_ptr<InpOutSystem> system, const volatile std::sig_atomic_t* stop)
    : m_system(std::move(system)), m_stop(stop ? stop : sys::StopFlag()) {}

InpOutPort::~InpOutPort() {
    Stop();
}

void InpOutPort::StartDriver() {
    if (!m_active) m_active = Start();
}

void InpOutPort::StopDriver() {
    Stop();
    m_message = "Der InpOut-Treiber ist angehalten.";
}

void InpOutPort::OnBaseAddressChanged() {
    // Another address is another port, with its own turn to wait for.
    if (!m_active) return;
    ReleasePort();
    m_active = ClaimPort();
}

bool InpOutPort::Start() {
    if (!m_loaded) {
        const InpOutLibrary library = m_system->Load();
        if (!library.loaded) {
            m_message =
                library.missingFunction.empty()
                    ? "inpoutx64.dll wurde nicht gefunden. Der Parallelport wird unter "
                      "Windows über InpOutx64 angesprochen, das nicht zu diesem Programm "
                      "gehört: Legen Sie inpoutx64.dll aus InpOutx64 neben das Programm "
                      "(in den Ordner " +
                          m_system->ProgramFolder() + ") oder in einen Ordner des Suchpfads (PATH)."
                    : library.file +
                          " ist keine InpOut-Bibliothek: ihr fehlt die "
                          "Funktion " +
                          library.missingFunction + ". Verwenden Sie inpoutx64.dll aus InpOutx64.";
            return false;
        }
        m_loaded = true;
        m_file = library.file;
    }
    if (!m_system->DriverOpen()) {
        m_message =
            m_file +
            " ist geladen, aber ihr Treiber ist nicht geöffnet. InpOut installiert seinen "
            "Treiber beim ersten Start, und dafür braucht es Administratorrechte: Starten Sie "
            "das Programm einmal als Administrator (Rechtsklick, \"Als Administrator "
            "ausführen\"), danach genügen gewöhnliche Rechte. Manche Anti-Cheat-Treiber und "
            "die Windows-Sperrliste für anfällige Treiber lassen ihn nicht zu.";
        return false;
    }
    return ClaimPort();
}

bool InpOutPort::ClaimPort() {
    m_claim = PortMutex(BaseAddress());
    if (m_claim == nullptr) {
        m_message = "Der Parallelport an Adresse " + HexAddress(BaseAddress()) +
                    " kann nicht belegt werden (" + std::to_string(::GetLastError()) + ").";
        return false;
    }
    while (true) {
        // An abandoned mutex belonged to a run that ended without letting go: ours now.
        const DWORD waited = ::WaitForSingleObject(m_claim, kClaimPollMs);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) break;
        if (waited != WAIT_TIMEOUT || *m_stop != 0) {
            ::CloseHandle(m_claim);
            m_claim = nullptr;
            m_message = "Der Parallelport an Adresse " + HexAddress(BaseAddress()) +
                        " wird von einem anderen Lauf benutzt; das Warten darauf wurde "
                        "abgebrochen.";
            return false;
        }
    }
    m_message =
        "InpOut: Parallelport an Adresse " + HexAddress(BaseAddress()) + " (" + m_file + ")";
    return true;
}

void InpOutPort::ReleasePort() {
    if (m_claim == nullptr) return;
    ::ReleaseMutex(m_claim);
    ::CloseHandle(m_claim);
    m_claim = nullptr;
}

void InpOutPort::Stop() {
    ReleasePort();
    m_active = false;
}

bool InpOutPort::OwnRegister(std::uint16_t address) const {
    // InpOut reaches every I/O port of the machine; only the three registers of ours are
    // ever touched.
    return m_active && static_cast<std::uint16_t>(address - BaseAddress()) < 3;
}

std::uint8_t InpOutPort::ReadPort(std::uint16_t address) {
    return OwnRegister(address) ? m_system->Inp(address) : 0;
}

void InpOutPort::WritePort(std::uint16_t address, std::uint8_t value) {
    if (OwnRegister(address)) m_system->Out(address, value);
}

}  // namespace velmo
