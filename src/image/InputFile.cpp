#include "image/InputFile.h"

namespace velmo {

bool InputFile::Open(const std::string& path) {
    sys::OpenResult opened = sys::OpenFileForReading(path);
    m_file = std::move(opened.file);
    m_position = 0;
    return m_file.Valid();
}

long InputFile::Read(char* buffer, std::size_t size) {
    if (!m_file.Valid()) return -1;
    std::size_t got = 0;
    if (sys::ReadAt(m_file, m_position, buffer, size, got) != 0) return -1;
    m_position += got;
    return static_cast<long>(got);
}

}  // namespace velmo
