#include "image/FileIdentity.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace velmo {
namespace {

std::string RealPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&::free)> real(::realpath(path.c_str(), nullptr), &::free);
    return real ? std::string(real.get()) : std::string();
}

std::string CurrentDirectory() {
    const std::unique_ptr<char, decltype(&::free)> cwd(::getcwd(nullptr, 0), &::free);
    return cwd ? std::string(cwd.get()) : std::string(".");
}

// The path as the system would resolve it; for a name that does not exist, its folder is
// resolved and the name kept.
std::string Resolved(const std::string& path) {
    if (std::string real = RealPath(path); !real.empty()) return real;
    const std::string absolute = path.front() == '/' ? path : CurrentDirectory() + "/" + path;
    const std::size_t slash = absolute.rfind('/');
    const std::string folder = slash == 0 ? "/" : absolute.substr(0, slash);
    const std::string name = absolute.substr(slash + 1);
    const std::string real = RealPath(folder);
    if (real.empty()) return absolute;
    return (real == "/" ? "" : real) + "/" + name;
}

}  // namespace

bool SameFile(const std::string& first, const std::string& second) {
    if (first.empty() || second.empty()) return false;
    struct stat a {};
    struct stat b {};
    if (::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0) {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }
    return Resolved(first) == Resolved(second);
}

}  // namespace velmo
