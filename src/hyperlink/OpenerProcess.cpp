#include "hyperlink/OpenerProcess.h"

#include "hyperlink/LinkOpening.h"

namespace velmo {

int OpenCodeForOpenerStatus(int exitStatus) {
    return exitStatus == 2 ? kOpenFileNotFound : kOpenNoAssociation;
}

}  // namespace velmo
