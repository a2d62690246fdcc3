#pragma once

#include <functional>
#include <string>

#include "image/FlashImage.h"

namespace velmo {

// The simulated chip's flash kept in a file of exactly FLASH_SIZE raw bytes, so that a
// program run and a later read run see the same chip. The functions return an empty string
// on success, otherwise a German message that names the file. Only a regular file is a chip
// file: a named pipe or a device is refused without waiting for it.

// A missing file is created erased (all 0xFF); a file of another size is refused rather
// than padded, since it is most likely not a chip file at all.
std::string LoadChipFile(const std::string& path, FlashImage& flash);

class ChipFileLock;

// Writes a temporary file beside it and renames it over the old one, so that a crash in
// the middle never leaves half a chip behind. An existing file that may not be written is
// left alone and reported. With a held lock, the lock moves over to the new file before it
// takes the old one's place, so the chip is never unlocked in between.
std::string SaveChipFile(const std::string& path, const FlashImage& flash,
                         ChipFileLock* lock = nullptr);

// An exclusive lock on the chip file, held while a driver runs on it, so that two runs on one
// simulated chip take turns instead of mixing their changes (flock: it also keeps two ports
// of one process apart).
class ChipFileLock {
  public:
    ChipFileLock() = default;
    ChipFileLock(const ChipFileLock&) = delete;
    ChipFileLock& operator=(const ChipFileLock&) = delete;
    ~ChipFileLock() { Release(); }

    // Takes the lock, waiting up to waitSeconds of real time for another run to let go of it;
    // says once through notice that it waits. On success the file's content, as the run
    // before left it, goes to flash.
    std::string Acquire(const std::string& path, unsigned waitSeconds,
                        const std::function<void(const std::string&)>& notice, FlashImage& flash);
    void Release();
    bool Held() const { return m_fd >= 0; }

    // For SaveChipFile: the lock now stands on fd (a file of its own that it closes).
    void MoveTo(int fd);

  private:
    int m_fd = -1;
};

}  // namespace velmo
