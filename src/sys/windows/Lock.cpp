#include "sys/Lock.h"

#include <windows.h>

#include "sys/windows/Wide.h"

namespace velmo::sys {

namespace {

// Windows' byte-range locks are mandatory: a locked byte can be neither read nor written
// through any other handle, even of this program. The lock therefore sits far beyond the end
// of any file of ours, where it keeps out other lockers and nothing else.
constexpr DWORD kLockOffsetHigh = 0x40000000;

}  // namespace

LockAttempt TryLock(FileHandle& file) {
    OVERLAPPED where{};
    where.OffsetHigh = kLockOffsetHigh;
    if (::LockFileEx(reinterpret_cast<HANDLE>(file.Native()),
                     LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) {
        return {LockOutcome::Taken, 0};
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
        return {LockOutcome::Busy, kBusy};
    }
    return {LockOutcome::Failed, static_cast<ErrorCode>(error)};
}

std::string PathLock::CompanionOf(const std::string& path) {
    return CreationTarget(path) + ".lock";
}

LockAttempt PathLock::TryAcquire(const std::string& path) {
    Release();
    // Shared for reading and writing but not for removal: while anyone holds the companion
    // open nobody can remove it, so every run locks the same file.
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const std::wstring companion = Wide(CompanionOf(path));
    HANDLE handle = ::CreateFileW(companion.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_ACCESS_DENIED)
            return {LockOutcome::Failed, static_cast<ErrorCode>(error)};
        // A companion made by someone else, or a folder that takes no new names, where the
        // file itself is all there is to lock.
        handle = ::CreateFileW(companion.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            handle = ::CreateFileW(Wide(CreationTarget(path)).c_str(), GENERIC_READ,
                                   kShare | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        if (handle == INVALID_HANDLE_VALUE)
            return {LockOutcome::Failed, static_cast<ErrorCode>(error)};
    }
    FileHandle file(reinterpret_cast<std::intptr_t>(handle));
    const LockAttempt locked = TryLock(file);
    if (locked.outcome == LockOutcome::Taken) m_file = std::move(file);
    return locked;
}

}  // namespace velmo::sys
