#pragma once

#include <string>

namespace velmo::sys {

// Whether a directory search finds anything for path: the path itself (file or folder), or,
// when its last element holds the wildcards '*' or '?', any entry of its folder that the
// pattern matches. Other characters, brackets included, stand for themselves.
bool PathFound(const std::string& path);

}  // namespace velmo::sys
