#include "sys/FileSearch.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <memory>

namespace velmo::sys {
namespace {

// fnmatch knows brackets and backslashes as well; only '*' and '?' are wildcards here.
std::string EscapeForFnmatch(const std::string& element) {
    std::string pattern;
    for (char c : element) {
        if (c == '[' || c == ']' || c == '\\') pattern += '\\';
        pattern += c;
    }
    return pattern;
}

}  // namespace

bool PathFound(const std::string& path) {
    if (path.empty()) return false;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) return true;

    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    if (last.find_first_of("*?") == std::string::npos) return false;

    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) return false;
    const std::string pattern = EscapeForFnmatch(last);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (::fnmatch(pattern.c_str(), name.c_str(), 0) == 0) return true;
    }
    return false;
}

}  // namespace velmo::sys
