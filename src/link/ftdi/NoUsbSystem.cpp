#include "link/ftdi/FtdiSystem.h"

// Without libftdi the link has no way to the adapters; it says so when it is started.
#ifndef VELMO_HAVE_LIBFTDI1
namespace velmo {

std::unique_ptr<FtdiSystem> MakeUsbFtdiSystem() {
    return nullptr;
}

}  // namespace velmo
#endif
