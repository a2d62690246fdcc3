#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmo {

// What stands at an output's path, as far as writing there is concerned (symbolic links are
// followed).
enum class OutputTarget : std::uint8_t {
    Missing,      // nothing yet: a new file is made
    RegularFile,  // replaced safely: written beside it, then renamed over it
    CharDevice,   // written in place (a terminal, /dev/stdout)
    Fifo,         // written in place, and only while someone reads from it
    Directory,
    Other,  // a socket, a block device: never written
};
OutputTarget ClassifyOutput(const std::string& path);

// Which targets an output may have. The simulated chip's flash, for one, lives only in a file.
enum class OutputKinds : std::uint8_t { Any, RegularOnly };

enum class OutputError : std::uint8_t {
    None,
    CannotCreate,  // the file cannot be made, opened or replaced (systemError says why)
    NoReader,      // a named pipe nobody reads from
    Directory,
    NotAFile,    // a socket or block device
    NotRegular,  // a device or pipe where only a file may stand
    Incomplete,  // not all of it could be written (a full disk, a reader that went away)
};

struct OutputResult {
    OutputError error = OutputError::None;
    int systemError = 0;  // errno where the system gave one
    bool ok() const { return error == OutputError::None; }
};

// Why an output failed, in German, without the file's name: "niemand liest aus der benannten
// Pipe", "No space left on device".
std::string DescribeOutputError(const OutputResult& result);

// One output, written in pieces. A regular file (or a name where nothing stands yet) is
// written into a new file beside it and takes the target's place only on Publish, so a
// failed write never destroys what was there; a symbolic link is written through, the file
// it names is replaced. A character device or a named pipe is written in place and never
// replaced; a pipe must have a reader when it is opened. Nothing is renamed over a device,
// pipe, socket or directory, and an existing file that may not be written stays as it is.
// Opening never blocks, and a reader that goes away fails the write instead of ending the
// process.
class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Closes; a file that was never published is removed again.
    ~OutputFile();

    OutputResult Open(const std::string& path, OutputKinds kinds = OutputKinds::Any);
    bool IsOpen() const { return m_fd >= 0; }
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
    // The open file (before Publish: the new one beside the target), for a lock that has to
    // move with the file; -1 when none is open.
    int Descriptor() const { return m_fd; }

  private:
    void Fail(OutputError error, int systemError);
    void Discard();

    int m_fd = -1;
    bool m_inPlace = false;  // device or pipe
    bool m_isFifo = false;
    std::string m_target;     // the file that is replaced (a link resolved)
    std::string m_temporary;  // the new file beside it, until published
    OutputResult m_status;
};

// Open, write all of data, close.
OutputResult WriteOutputFile(const std::string& path, const std::uint8_t* data, std::size_t size,
                             OutputKinds kinds = OutputKinds::Any);

}  // namespace velmo
