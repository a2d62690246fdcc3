// Feeds arbitrary file contents to the HEX test and reader. The image sits between two guard
// images, so a store outside it shows up as a changed guard even where the sanitizer cannot
// see it (the three share one object).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "image/IntelHex.h"

namespace {

// One file in memory for the whole run, reached by path like any file on disk; it leaves
// nothing behind when the fuzzer ends.
int InputFd() {
    static const int fd = ::memfd_create("velmo-fuzz-hex", MFD_CLOEXEC);
    return fd;
}

struct GuardedImage {
    velmo::FlashImage before;
    velmo::FlashImage image;
    velmo::FlashImage after;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = InputFd();
    if (fd < 0) std::abort();
    if (::ftruncate(fd, 0) != 0) std::abort();
    if (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    if (!velmo::IsIntelHexFile(path)) return 0;
    static GuardedImage guarded;
    guarded.before.fill(0xA5);
    guarded.after.fill(0x5A);
    velmo::ClearImage(guarded.image);
    const velmo::FlashImage cleared = guarded.image;
    const velmo::HexReadResult result = velmo::ReadIntelHex(path, guarded.image);
    for (std::size_t i = 0; i < velmo::FLASH_SIZE; ++i) {
        if (guarded.before[i] != 0xA5 || guarded.after[i] != 0x5A) std::abort();
    }
    // A refused file must not leave part of itself behind.
    if (result != velmo::HexReadResult::Ok && guarded.image != cleared) std::abort();
    return 0;
}
