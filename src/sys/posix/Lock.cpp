#include "sys/Lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace velmo::sys {

LockAttempt TryLock(FileHandle& file) {
    // flock, not fcntl's record locks: those belong to the process, so two opens of one file
    // in one program would not keep each other out, and closing any copy would drop them.
    if (::flock(static_cast<int>(file.Native()), LOCK_EX | LOCK_NB) == 0) {
        return {LockOutcome::Taken, 0};
    }
    const int error = errno;
    if (error == EWOULDBLOCK || error == EINTR) return {LockOutcome::Busy, kBusy};
    return {LockOutcome::Failed, error};
}

std::string PathLock::CompanionOf(const std::string& path) {
    return CreationTarget(path) + ".lock";
}

LockAttempt PathLock::TryAcquire(const std::string& path) {
    Release();
    const std::string companion = CompanionOf(path);
    const int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    // Someone may remove the companion between its open and its lock; then the lock stands on
    // a file nobody else will find, and the open is tried again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        FileHandle file(::open(companion.c_str(), O_RDWR | O_CREAT | flags, 0666));
        if (!file.Valid()) {
            const int error = errno;
            if (error != EACCES && error != EROFS && error != EPERM) {
                return {LockOutcome::Failed, error};
            }
            // A companion made by someone else, or a folder that takes no new names, where
            // the file itself is all there is to lock.
            file = FileHandle(::open(companion.c_str(), O_RDONLY | flags));
            if (!file.Valid() && errno == ENOENT) {
                file = FileHandle(::open(CreationTarget(path).c_str(), O_RDONLY | flags));
            }
            if (!file.Valid()) return {LockOutcome::Failed, error};
        }
        const LockAttempt locked = TryLock(file);
        if (locked.outcome != LockOutcome::Taken) return locked;
        const FileInfo named = Inspect(companion);
        if (named.kind == FileKind::Missing &&
            Inspect(CreationTarget(path)).id == InspectOpen(file).id) {
            m_file = std::move(file);  // the file itself carries the lock
            return locked;
        }
        if (named.id == InspectOpen(file).id) {
            m_file = std::move(file);
            return locked;
        }
    }
    return {LockOutcome::Busy, kBusy};
}

}  // namespace velmo::sys
