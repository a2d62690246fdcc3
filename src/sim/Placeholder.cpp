// Placeholder until the simulator lands.
#include "sim/SimOptions.h"

namespace velmo {
std::optional<SimOptions> ParseSimOptions(const std::string&, std::string*) { return SimOptions{}; }
}  // namespace velmo
