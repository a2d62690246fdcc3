#pragma once

#include <string>

#include "sys/Files.h"

namespace velmo::sys {

enum class LockOutcome : std::uint8_t { Taken, Busy, Failed };

struct LockAttempt {
    LockOutcome outcome = LockOutcome::Failed;
    ErrorCode error = 0;
};

// An exclusive lock on an open file, held until the file is closed. Never waits. Two opens of
// one file exclude each other, also within one program.
LockAttempt TryLock(FileHandle& file);

// An exclusive lock that belongs to a name rather than to the file standing there, so that
// replacing or removing the file does not set it free. It lives on a companion file,
// "<name>.lock" beside the file the name leads to (links followed), which stays when the lock
// is released: removing it would let two holders lock two different files. Where that folder
// takes no new files, the file itself carries the lock; nobody can replace it there either.
class PathLock {
  public:
    // Taken, Busy (someone else holds it) or Failed with the reason.
    LockAttempt TryAcquire(const std::string& path);
    void Release() { m_file.Close(); }
    bool Held() const { return m_file.Valid(); }
    // The companion file's name for path.
    static std::string CompanionOf(const std::string& path);

  private:
    FileHandle m_file;
};

}  // namespace velmo::sys
