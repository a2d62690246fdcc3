#include "sys/FileSearch.h"

#include <windows.h>

#include "sys/windows/Wide.h"

namespace velmo::sys {

bool PathFound(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return false;
    // A directory search does what the batch call promises: the path itself, or the entries
    // its last element's wildcards match.
    WIN32_FIND_DATAW entry{};
    const HANDLE search = ::FindFirstFileW(Wide(path).c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        ::FindClose(search);
        return true;
    }
    // A drive's root is no entry of any folder.
    return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace velmo::sys
