#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "image/OutputFile.h"
#include "port/Cable.h"

namespace velmo {

// The programming lines as a Value Change Dump (GTKWave, PulseView): one signal per line of
// the cable, each change with its time in nanoseconds since Begin. Whoever drives the lines
// says when each level held: a register port when it wrote or read the register, a USB
// adapter when its clock put the level on the pin.
//
// The file follows the rules of OutputFile: a file is written beside the old one and takes its
// place at Finish, a character device or a named pipe with a reader is written in place. A
// write that fails is kept for Finish, and a dump that was not written whole never replaces a
// file.
class VcdRecorder {
  public:
    explicit VcdRecorder(std::string path);
    ~VcdRecorder();
    VcdRecorder(const VcdRecorder&) = delete;
    VcdRecorder& operator=(const VcdRecorder&) = delete;

    // Opens the file and writes its header; false with a German message in OpenError.
    bool Open(std::int64_t originNs);
    bool IsOpen() const { return m_file.IsOpen(); }
    const std::string& OpenError() const { return m_error; }
    // The levels at time 0: 0 or 1, or -1 for a line nobody has seen yet.
    void Begin(const std::array<int, kIspLineCount>& levels);
    // Only changes are written; a time before the last one written counts as that one.
    void Record(IspLine line, bool level, std::int64_t nowNs);
    // Publishes what was written so far; the first failure to write the dump, or empty.
    std::string Finish();
    bool IsFile(const std::string& path) const;
    const std::string& Path() const { return m_path; }

  private:
    void Flush();
    void Publish();

    std::string m_path;
    OutputFile m_file;
    std::string m_error;       // the file could not be opened
    std::string m_writeError;  // the dump is not whole
    std::string m_buffer;
    std::int64_t m_originNs = 0;
    std::int64_t m_lastStampNs = -1;
    std::array<int, kIspLineCount> m_levels{};  // -1 = not seen yet
};

}  // namespace velmo
