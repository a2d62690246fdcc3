#include "sys/Files.h"

#include <windows.h>

#include <cwctype>

#include "sys/windows/Wide.h"

namespace velmo::sys {

const ErrorCode kNoSuchFile = ERROR_FILE_NOT_FOUND;
const ErrorCode kAccessDenied = ERROR_ACCESS_DENIED;
const ErrorCode kNoReader = ERROR_PIPE_NOT_CONNECTED;
const ErrorCode kNoSpace = ERROR_DISK_FULL;
const ErrorCode kBusy = ERROR_LOCK_VIOLATION;

namespace {

// Like a POSIX program's files, ours may be read, written, renamed and removed by others while
// we hold them open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Handle(const FileHandle& file) {
    return reinterpret_cast<HANDLE>(file.Native());
}

FileHandle Adopt(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? FileHandle()
                                          : FileHandle(reinterpret_cast<std::intptr_t>(handle));
}

// A folder that is not there says "path not found"; to the callers it is one missing file.
ErrorCode LastError() {
    const DWORD error = ::GetLastError();
    if (error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) return kNoSuchFile;
    return static_cast<ErrorCode>(error);
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

bool IsPipeName(const std::string& path) {
    const std::string prefix = "\\\\.\\pipe\\";
    return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
}

// A named pipe would take an open as a client's connection, so it is only recognised by name.
FileInfo PipeInfo() {
    FileInfo info;
    info.kind = FileKind::Fifo;
    info.permissions = 0666;
    return info;
}

FileInfo InfoOfHandle(HANDLE handle) {
    FileInfo info;
    switch (::GetFileType(handle)) {
        case FILE_TYPE_CHAR:
            info.kind = FileKind::CharDevice;
            info.permissions = 0666;
            return info;
        case FILE_TYPE_PIPE:
            return PipeInfo();
        case FILE_TYPE_DISK:
            break;
        default:
            info.kind = FileKind::Other;
            return info;
    }
    BY_HANDLE_FILE_INFORMATION data{};
    if (!::GetFileInformationByHandle(handle, &data)) {
        info.error = LastError();
        return info;
    }
    // The volume and the file's index on it: st_ino's counterpart, which stays the same under
    // every name of the file.
    info.kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Directory
                                                                   : FileKind::Regular;
    info.id = {data.dwVolumeSerialNumber,
               (std::uint64_t{data.nFileIndexHigh} << 32) | data.nFileIndexLow};
    info.permissions = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    info.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return info;
}

HANDLE OpenToLookAt(const std::string& path) {
    // Backup semantics open folders too; no access right is needed to read the attributes.
    return ::CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD length = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) return path;
    std::wstring full(length, L'\0');
    const DWORD written = ::GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
    full.resize(written);
    return full;
}

// The name the system itself keeps for an existing file or folder, links resolved; empty
// where it cannot tell.
std::wstring FinalPath(const std::wstring& path) {
    const HANDLE handle = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    std::wstring final(MAX_PATH, L'\0');
    DWORD length =
        ::GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    if (length >= final.size()) {
        final.resize(length + 1);
        length =
            ::GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    }
    ::CloseHandle(handle);
    if (length == 0 || length >= final.size()) return {};
    final.resize(length);
    // "\\?\C:\..." for a drive; a share's "\\?\UNC\server\..." is left as it is.
    const std::wstring prefix = L"\\\\?\\";
    if (final.compare(0, prefix.size(), prefix) == 0 && final.size() > 6 && final[5] == L':') {
        final.erase(0, prefix.size());
    }
    return final;
}

OpenResult Opened(HANDLE handle) {
    OpenResult result;
    if (handle == INVALID_HANDLE_VALUE) {
        result.error = LastError();
    } else {
        result.file = Adopt(handle);
    }
    return result;
}

HANDLE Create(const std::string& path, DWORD access, DWORD disposition) {
    return ::CreateFileW(Wide(path).c_str(), access, kShareAll, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

// The most one call moves; a file of ours is far smaller.
DWORD Chunk(std::size_t size) {
    return static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30));
}

// Whether a standard handle (output or error) leads to the file with this identity.
HANDLE StandardHandleFor(const FileInfo& target) {
    for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE handle = ::GetStdHandle(which);
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE) continue;
        const FileInfo info = InfoOfHandle(handle);
        if (info.kind == FileKind::Regular && info.id == target.id) return handle;
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

std::string ErrorText(ErrorCode code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", length);
    if (buffer) ::LocalFree(buffer);
    // The system's sentences end in a full stop and a line break; ours go on after them.
    while (!text.empty() && (std::iswspace(text.back()) || text.back() == L'.')) text.pop_back();
    if (text.empty()) return "Fehler " + std::to_string(code);
    return Utf8(text);
}

FileInfo Inspect(const std::string& path) {
    FileInfo info;
    if (path.empty() || path.find('\0') != std::string::npos) return info;
    if (IsPipeName(path)) return PipeInfo();
    const HANDLE handle = OpenToLookAt(path);
    if (handle == INVALID_HANDLE_VALUE) {
        const ErrorCode error = LastError();
        if (error != kNoSuchFile) info.error = error;
        return info;
    }
    info = InfoOfHandle(handle);
    ::CloseHandle(handle);
    return info;
}

FileInfo InspectOpen(const FileHandle& file) {
    return InfoOfHandle(Handle(file));
}

std::string DirectoryOf(const std::string& path) {
    std::size_t separator = path.size();
    while (separator > 0 && !IsSeparator(path[separator - 1])) --separator;
    if (separator == 0) {
        // "C:name" lies in the current folder of drive C.
        return path.size() > 1 && path[1] == ':' ? path.substr(0, 2) : ".";
    }
    const std::size_t slash = separator - 1;
    // The root of a drive or of the current drive keeps its separator.
    if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    std::size_t separator = path.size();
    while (separator > 0 && !IsSeparator(path[separator - 1])) --separator;
    if (separator == 0 && path.size() > 1 && path[1] == ':') return path.substr(2);
    return path.substr(separator);
}

std::string CreationTarget(const std::string& path) {
    if (path.empty()) return {};
    const std::wstring full = FullPath(Wide(path));
    if (const std::wstring final = FinalPath(full); !final.empty()) return Utf8(final);
    // Not there yet: the folder as the system names it, with the new name in it.
    const std::size_t slash = full.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return Utf8(full);
    const std::wstring folder = FinalPath(full.substr(0, slash + 1));
    if (folder.empty()) return Utf8(full);
    const bool endsInSeparator = folder.back() == L'\\';
    return Utf8(folder + (endsInSeparator ? L"" : L"\\") + full.substr(slash + 1));
}

bool SameFile(const std::string& first, const std::string& second) {
    if (first.empty() || second.empty()) return false;
    const FileInfo a = Inspect(first);
    const FileInfo b = Inspect(second);
    // Devices and pipes have no index; their names are all there is to compare.
    if (a.kind == FileKind::Regular || a.kind == FileKind::Directory) {
        if (b.kind != FileKind::Missing) return b.kind == a.kind && a.id == b.id;
    }
    // Names on Windows do not tell upper from lower case.
    const std::wstring x = Wide(CreationTarget(first));
    const std::wstring y = Wide(CreationTarget(second));
    return ::CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                                  static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
}

std::vector<std::string> ListDirectory(const std::string& directory) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry{};
    const std::string pattern =
        directory + (directory.empty() || IsSeparator(directory.back()) ? "*" : "\\*");
    const HANDLE search = ::FindFirstFileW(Wide(pattern).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(Utf8(entry.cFileName));
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    return names;
}

bool MayWrite(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

bool MayReplace(const std::string& path) {
    // Windows keeps no sticky folders; whether the folder takes new files shows when the new
    // file is made.
    return Inspect(DirectoryOf(path)).kind == FileKind::Directory;
}

ErrorCode FileHandle::Close() {
    if (m_native == -1) return 0;
    const BOOL closed = ::CloseHandle(reinterpret_cast<HANDLE>(m_native));
    m_native = -1;
    return closed ? 0 : LastError();
}

OpenResult OpenDeviceForWriting(const std::string& path, FileKind kind) {
    OpenResult result = Opened(Create(path, GENERIC_WRITE, OPEN_EXISTING));
    if (!result.ok()) {
        // A pipe whose server does not listen has no reader.
        if (kind == FileKind::Fifo &&
            (result.error == kNoSuchFile || result.error == ERROR_PIPE_BUSY)) {
            result.error = kNoReader;
        }
        return result;
    }
    if (InspectOpen(result.file).kind != kind) {
        result.file.Close();
        result.error = ERROR_BAD_DEVICE;
    }
    return result;
}

OpenResult OpenFileForWriting(const std::string& path) {
    OpenResult result = Opened(Create(path, GENERIC_WRITE, OPEN_EXISTING));
    if (result.ok() && InspectOpen(result.file).kind != FileKind::Regular) {
        result.file.Close();
        result.error = ERROR_INVALID_PARAMETER;
    }
    return result;
}

OpenResult OpenFileForReading(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos || IsPipeName(path)) {
        return {FileHandle(), kNoSuchFile};
    }
    OpenResult result = Opened(Create(path, GENERIC_READ, OPEN_EXISTING));
    if (result.ok() && InspectOpen(result.file).kind != FileKind::Regular) {
        result.file.Close();
        result.error = ERROR_INVALID_PARAMETER;
    }
    return result;
}

OpenResult CreateNewFile(const std::string& path) {
    return Opened(Create(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW));
}

UpdateResult OpenFileForUpdate(const std::string& path) {
    UpdateResult result;
    if (IsPipeName(path)) {
        result.notRegular = true;
        return result;
    }
    HANDLE handle = Create(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    result.writable = handle != INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
        handle = Create(path, GENERIC_READ, OPEN_EXISTING);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        result.error = LastError();
        return result;
    }
    result.file = Adopt(handle);
    if (InspectOpen(result.file).kind != FileKind::Regular) {
        result.file.Close();
        result.notRegular = true;
    }
    return result;
}

FileHandle InheritedDescriptorFor(const std::string& path) {
    const FileInfo target = Inspect(path);
    if (target.kind != FileKind::Regular) return {};
    const HANDLE standard = StandardHandleFor(target);
    if (standard == INVALID_HANDLE_VALUE) return {};
    HANDLE copy = INVALID_HANDLE_VALUE;
    const HANDLE self = ::GetCurrentProcess();
    if (!::DuplicateHandle(self, standard, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) return {};
    return Adopt(copy);
}

bool LeadsToStandardOutput(const std::string& path) {
    const FileInfo target = Inspect(path);
    if (target.kind != FileKind::Regular) return false;
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return false;
    const FileInfo info = InfoOfHandle(out);
    return info.kind == FileKind::Regular && info.id == target.id;
}

ErrorCode WriteAll(FileHandle& file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        DWORD written = 0;
        if (!::WriteFile(Handle(file), bytes + done, Chunk(size - done), &written, nullptr)) {
            return LastError();
        }
        if (written == 0) return kNoSpace;
        done += written;
    }
    return 0;
}

ErrorCode WriteAt(FileHandle& file, std::uint64_t offset, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        OVERLAPPED position = At(offset + done);
        DWORD written = 0;
        if (!::WriteFile(Handle(file), bytes + done, Chunk(size - done), &written, &position)) {
            return LastError();
        }
        if (written == 0) return kNoSpace;
        done += written;
    }
    return 0;
}

ErrorCode ReadAt(FileHandle& file, std::uint64_t offset, void* data, std::size_t size,
                 std::size_t& got) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    got = 0;
    while (got < size) {
        OVERLAPPED position = At(offset + got);
        DWORD read = 0;
        if (!::ReadFile(Handle(file), bytes + got, Chunk(size - got), &read, &position)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_HANDLE_EOF) break;
            return static_cast<ErrorCode>(error);
        }
        if (read == 0) break;
        got += read;
    }
    return 0;
}

ErrorCode Truncate(FileHandle& file, std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFileInformationByHandle(Handle(file), FileEndOfFileInfo, &end, sizeof end)
               ? 0
               : LastError();
}

ErrorCode Sync(FileHandle& file) {
    return ::FlushFileBuffers(Handle(file)) ? 0 : LastError();
}

ErrorCode SetPermissions(FileHandle& file, std::uint32_t permissions) {
    // Windows knows one permission of its own: read-only.
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(Handle(file), FileBasicInfo, &basic, sizeof basic)) {
        return LastError();
    }
    const DWORD before = basic.FileAttributes;
    if ((permissions & 0222) == 0) {
        basic.FileAttributes |= FILE_ATTRIBUTE_READONLY;
    } else {
        basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    }
    if (basic.FileAttributes == before) return 0;
    return ::SetFileInformationByHandle(Handle(file), FileBasicInfo, &basic, sizeof basic)
               ? 0
               : LastError();
}

ErrorCode Rename(const std::string& from, const std::string& to) {
    // Written through: the new name is on the disk when the call returns.
    return ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : LastError();
}

ErrorCode RenameOpenFile(FileHandle& file, const std::string& from, const std::string& to) {
    // Windows renames no file that is open (or locked) elsewhere, this handle included: it is
    // closed first and opened again under whichever name the file has then, at its place.
    LARGE_INTEGER position{};
    ::SetFilePointerEx(Handle(file), LARGE_INTEGER{}, &position, FILE_CURRENT);
    file.Close();
    const ErrorCode error = Rename(from, to);
    OpenResult reopened =
        Opened(Create(error == 0 ? to : from, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING));
    if (!reopened.ok()) return error != 0 ? error : reopened.error;
    ::SetFilePointerEx(Handle(reopened.file), position, nullptr, FILE_BEGIN);
    file = std::move(reopened.file);
    return error;
}

ErrorCode Remove(const std::string& path) {
    return ::DeleteFileW(Wide(path).c_str()) ? 0 : LastError();
}

void SyncDirectoryOf(const std::string&) {
    // Renames are written through already (MOVEFILE_WRITE_THROUGH); folders cannot be flushed.
}

long ProcessId() {
    return static_cast<long>(::GetCurrentProcessId());
}

bool ProcessRuns(long id) {
    if (id <= 0) return false;
    const HANDLE process =
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
    if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    ::CloseHandle(process);
    return running;
}

}  // namespace velmo::sys
