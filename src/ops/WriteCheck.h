#pragma once

// What ChipSession's byte writes share between its two files.

#include <array>
#include <cstdint>

#include "link/IspLink.h"
#include "ops/ChipSession.h"

namespace velmo {

// What one byte write came to in every socket.
struct ChipSession::WriteCheck {
    bool stopped = false;  // the polling ended at a stop request
    std::array<bool, kMaxSockets> confirmed{};
    SocketBytes lastRead{};
};

// One cell to write.
struct ChipSession::Cell {
    std::uint32_t address = 0;
    std::uint8_t value = 0;
};

// Takes one read-back into check; true once every live socket has answered the byte.
template <typename Check, typename Live>
bool Confirm(Check& check, const SocketBytes& answer, std::uint8_t value, unsigned sockets,
             Live live) {
    bool all = true;
    for (unsigned s = 0; s < sockets; ++s) {
        if (!live(s) || check.confirmed[s]) continue;
        check.lastRead[s] = answer[s];
        check.confirmed[s] = answer[s] == value;
        all = all && check.confirmed[s];
    }
    return all;
}

}  // namespace velmo
