#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sys/Files.h"

namespace velmo {

enum class OutputError : std::uint8_t {
    None,
    CannotCreate,  // the file cannot be made, opened or replaced (systemError says why)
    NoReader,      // a named pipe nobody reads from
    Directory,
    NotAFile,    // a socket or block device
    Incomplete,  // not all of it could be written (a full disk, a reader that went away)
};

struct OutputResult {
    OutputError error = OutputError::None;
    sys::ErrorCode systemError = 0;  // the system's reason where it gave one
    bool ok() const { return error == OutputError::None; }
};

// Why an output failed, in German, without the file's name: "niemand liest aus der benannten
// Pipe", "Auf dem Gerät ist kein Speicherplatz mehr verfügbar".
std::string DescribeOutputError(const OutputResult& result);

// How an output is written, decided by what its path leads to.
enum class OutputWay : std::uint8_t {
    Descriptor,   // a descriptor the program was started with: written through it, at its place
    Device,       // a character device or a named pipe: written in place
    Replace,      // a file, or nothing yet: written beside it, then renamed over it
    InPlaceFile,  // a file that may be written but not replaced (someone else's sticky folder)
    Refused,
};

struct OutputPlan {
    OutputWay way = OutputWay::Refused;
    sys::FileKind kind = sys::FileKind::Missing;  // what stands there now
    std::string file;                             // the file written, links resolved
    OutputResult refusal;                         // why, when Refused
};

// Looks at the path only; nothing is opened or made. Lets a caller refuse an output before
// any work is done for it.
OutputPlan PlanOutput(const std::string& path);

// One output, written in pieces, by its plan. A path that leads to a descriptor the program
// was started with (/dev/stdout, a file the shell opened for it) is written through that
// descriptor at its own position, so appended and shared outputs keep what they held. A file
// (or a name where nothing stands yet) is written into a new file beside it and takes the
// target's place only on Publish, so a failed write never destroys what was there; a
// symbolic link is written through (the file it names is made, as by a shell's ">"). A file
// that may be written but not replaced is written in place. A character device or a named
// pipe is written in place and never replaced; a pipe must have a reader when it is opened.
// Nothing is renamed over a device, pipe, socket or directory, and an existing file that may
// not be written stays as it is. Opening never blocks, and a reader that goes away fails the
// write instead of ending the process. A new file that a killed writer left beside the same
// target is removed when the target is opened again.
class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Closes; a file that was never published is removed again.
    ~OutputFile();

    OutputResult Open(const std::string& path);
    bool IsOpen() const { return m_file.Valid(); }
    OutputWay Way() const { return m_way; }
    // False once anything could not be written; later writes are dropped.
    bool Write(const void* data, std::size_t size);
    // Makes what was written so far the file at the path (renames it there when it was written
    // beside it); later writes go on in the same file. After a failed write the new file is
    // removed instead and the old one stays.
    OutputResult Publish();
    // Publish, then close.
    OutputResult Close();
    // The first failure so far.
    const OutputResult& Status() const { return m_status; }

  private:
    void Fail(OutputError error, sys::ErrorCode systemError);
    void Discard();
    bool OpenBeside(const OutputPlan& plan);

    sys::FileHandle m_file;
    OutputWay m_way = OutputWay::Refused;
    std::string m_target;     // the file that is replaced or written in place
    std::string m_temporary;  // the new file beside it, until published
    std::uint64_t m_written = 0;
    OutputResult m_status;
};

// Open, write all of data, close.
OutputResult WriteOutputFile(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace velmo
