#pragma once

namespace velmo::sys {

// The system's own messages (ErrorText) in the language the environment asks for (LC_ALL,
// LC_MESSAGES, LANG), always as UTF-8, so that a German system says why in German. Numbers
// are left in the C way.
void UseMessageLanguageOfEnvironment();

}  // namespace velmo::sys
