#include "sys/Locale.h"

#include <libintl.h>

#include <clocale>

namespace velmo::sys {

void UseMessageLanguageOfEnvironment() {
    std::setlocale(LC_MESSAGES, "");
    // The C library's texts in UTF-8 whatever character set the environment names (even
    // none), since every text of ours around them is UTF-8.
    ::bind_textdomain_codeset("libc", "UTF-8");
}

}  // namespace velmo::sys
