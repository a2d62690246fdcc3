#include "sys/Locale.h"

namespace velmo::sys {

void UseMessageLanguageOfEnvironment() {
    // The system's messages (FormatMessage) come in the language of the user's Windows by
    // themselves.
}

}  // namespace velmo::sys
