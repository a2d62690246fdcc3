#include "sys/Process.h"

#include <windows.h>

#include <shellapi.h>

#include "sys/windows/Wide.h"

namespace velmo::sys {

namespace {

// One argument as CommandLineToArgvW and the C library read it back: quoted where it holds a
// blank or a quote, backslashes doubled only where a quote follows them.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

}  // namespace

std::vector<std::string> Arguments(int, char**) {
    // The C library's argv is in the ANSI code page, where a name like Prüfung.hex may not
    // survive; the command line the system keeps is UTF-16.
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (words == nullptr) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(Utf8(words[i]));
    ::LocalFree(words);
    return arguments;
}

std::string ProgramName() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, length);
    name.erase(0, name.find_last_of(L"\\/") + 1);
    if (name.size() > 4 &&
        ::CompareStringOrdinal(name.c_str() + name.size() - 4, 4, L".exe", 4, TRUE) == CSTR_EQUAL) {
        name.resize(name.size() - 4);
    }
    return Utf8(name);
}

std::string EnvironmentVariable(const char* name) {
    const std::wstring key = Wide(name);
    const DWORD size = ::GetEnvironmentVariableW(key.c_str(), nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(key.c_str(), value.data(), size);
    value.resize(length < size ? length : 0);
    return Utf8(value);
}

ProgramOutcome RunProgram(const std::vector<std::string>& command, int waitMs) {
    if (command.empty() || command.front().empty()) return {};
    std::wstring line;
    for (const std::string& word : command) {
        if (!line.empty()) line += L' ';
        line += Quoted(Wide(word));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Without a console of its own and outside our process group: a Ctrl-C in our console
    // does not reach the browser it starts, and it reads no input of ours.
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                          DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup,
                          &process)) {
        return {};
    }
    ::CloseHandle(process.hThread);
    ProgramOutcome outcome{ProgramState::StillRunning, -1};
    if (::WaitForSingleObject(process.hProcess, static_cast<DWORD>(waitMs < 0 ? 0 : waitMs)) ==
        WAIT_OBJECT_0) {
        DWORD code = 0;
        ::GetExitCodeProcess(process.hProcess, &code);
        outcome = {code == 0 ? ProgramState::Succeeded : ProgramState::Failed,
                   static_cast<int>(code)};
    }
    // A program still running is left to run; Windows keeps no zombie for it.
    ::CloseHandle(process.hProcess);
    return outcome;
}

}  // namespace velmo::sys
