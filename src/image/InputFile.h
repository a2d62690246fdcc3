#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sys/Files.h"

namespace velmo {

// A file opened for reading in binary, closed by the destructor. Only regular files open:
// directories, pipes and devices count as "cannot be opened".
class InputFile {
  public:
    bool Open(const std::string& path);
    // Fills buffer as far as the file allows: fewer than size bytes only at the file's end.
    // Returns the number of bytes read, or -1 on a read error.
    long Read(char* buffer, std::size_t size);

  private:
    sys::FileHandle m_file;
    std::uint64_t m_position = 0;
};

}  // namespace velmo
