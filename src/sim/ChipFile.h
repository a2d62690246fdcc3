#pragma once

#include <functional>
#include <string>

#include "image/FlashImage.h"
#include "sys/Files.h"
#include "sys/Lock.h"

namespace velmo {

// The simulated chip's flash kept in a file of exactly FLASH_SIZE raw bytes, so that a
// program run and a later read run see the same chip. The functions return an empty string
// on success, otherwise a German message that names the file. Only a regular file is a chip
// file: a named pipe or a device is refused without waiting for it.

// Reads the file as it stands; a missing file reads as an erased chip (all 0xFF) and is made
// only once its lock is held. A file of another size is refused rather than padded, since it
// is most likely not a chip file at all.
std::string LoadChipFile(const std::string& path, FlashImage& flash);

class ChipFileLock;

// Writes the cells of flash that differ from the file. With a held lock through its open
// file; otherwise the lock is taken for the write, if nobody holds it.
std::string SaveChipFile(const std::string& path, const FlashImage& flash,
                         ChipFileLock* lock = nullptr);

// The chip file, locked and open while a driver runs on it, so that two runs on one
// simulated chip take turns instead of mixing their changes. The lock belongs to the file's
// name (sys::PathLock), so it holds also while the file is made, replaced or removed. Every
// change goes through to the file at once, cell by cell: a run that is killed has left every
// byte the chip took. A file replaced or removed under a held lock is not written any more
// (the replacement is somebody else's) and the write fails, naming it.
class ChipFileLock {
  public:
    ChipFileLock() = default;
    ChipFileLock(const ChipFileLock&) = delete;
    ChipFileLock& operator=(const ChipFileLock&) = delete;
    ~ChipFileLock() { Release(); }

    // Takes the lock, waiting up to waitSeconds of real time for another run to let go of it;
    // says once through notice that it waits. A stop signal ends the waiting at once. Then
    // opens the file, making it erased where it is missing; its content, as the run before
    // left it, goes to flash.
    std::string Acquire(const std::string& path, unsigned waitSeconds,
                        const std::function<void(const std::string&)>& notice, FlashImage& flash);
    void Release();
    bool Held() const { return m_file.Valid(); }

    // The cells that differ from the file, each written at its place; fails, writing nothing,
    // once the file was replaced or removed.
    std::string WriteThrough(const FlashImage& flash);

  private:
    std::string Open(FlashImage& flash);

    std::string m_path;
    sys::PathLock m_lock;
    sys::FileHandle m_file;
    bool m_writable = false;
    sys::FileId m_id;
    FlashImage m_stored{};  // what the file holds
};

}  // namespace velmo
