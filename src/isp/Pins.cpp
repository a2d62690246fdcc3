// Placeholder until the pin layer lands.
#include "isp/Pins.h"

namespace velmo {
void SetPin(PortIo&, unsigned, unsigned) {}
int GetPin(PortIo&, unsigned) { return 0; }
}  // namespace velmo
