#pragma once

#include <string>

#include "backends/PortFactory.h"
#include "link/IspLink.h"

namespace velmo {

// Which way the window reaches the chip, for its status bar's tip and its About box, where
// that is no parallel port: the backend and its device. A running backend describes itself
// (GPIO: chip, label and lines; the simulator: board, crystal and chip file). One that did
// not start is named from the settings it was made from ("GPIO: /dev/gpiochip4, MOSI 10, ...",
// "Simulator: chip.bin"), since the status text already gives the reason it failed. Empty
// for a parallel port, which the status text and the port menu name already, and for a
// VELMO_PORT that names no backend.
std::string DescribeBackend(const PortEnvironment& env, const IspLink& link);

}  // namespace velmo
