#pragma once

#include <string>

namespace velmo {

// Whether two paths name the same file: the same device and inode where both exist, otherwise
// the same absolute path once links and "." or ".." are resolved (so a file that does not
// exist yet is recognised by its name). An empty path names nothing.
bool SameFile(const std::string& first, const std::string& second);

}  // namespace velmo
