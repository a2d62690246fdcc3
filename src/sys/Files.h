#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Files as the platform keeps them: what stands at a path, where a new file would come to
// stand, open files and the descriptors the program was started with. Paths are UTF-8,
// results are values; nothing here throws.
namespace velmo::sys {

// The system's own number for what went wrong; 0 for nothing.
using ErrorCode = int;
// The few failures callers tell apart.
extern const ErrorCode kNoSuchFile;
extern const ErrorCode kAccessDenied;
extern const ErrorCode kNoReader;  // a named pipe that nobody reads from
extern const ErrorCode kNoSpace;
extern const ErrorCode kBusy;  // a lock someone else holds

// The system's words for an error, in the message language chosen by
// UseMessageLanguageOfEnvironment (sys/Locale.h), as UTF-8.
std::string ErrorText(ErrorCode code);

enum class FileKind : std::uint8_t {
    Missing,
    Regular,
    CharDevice,
    Fifo,
    Directory,
    Socket,
    Other,  // a block device and the like
};

// Which file it is, independent of its names.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

struct FileInfo {
    FileKind kind = FileKind::Missing;
    ErrorCode error = 0;  // why it could not be looked at, when that is not kNoSuchFile
    FileId id;
    std::uint32_t permissions = 0;  // the mode's permission bits
    std::uint64_t size = 0;
};

// What the path leads to, links followed.
FileInfo Inspect(const std::string& path);

// Where a file created at path comes to stand: absolute, with "." and ".." and every link
// resolved as the system resolves them when it creates a file, a link whose target does not
// exist yet included. Empty for an empty path.
std::string CreationTarget(const std::string& path);

// Whether two paths name one file: the same file where both exist, otherwise the same
// creation target, so that a name that does not exist yet is recognised too. An empty path
// names nothing.
bool SameFile(const std::string& first, const std::string& second);

// The folder a path stands in ("." for a bare name) and the name within it.
std::string DirectoryOf(const std::string& path);
std::string NameOf(const std::string& path);
std::vector<std::string> ListDirectory(const std::string& directory);

// Whether this user may write the file at path (an existing file's own mode counts).
bool MayWrite(const std::string& path);
// Whether a new file beside path may take its place by a rename: the folder takes new names
// from this user, and a folder that keeps others' files apart (the sticky bit) lets this user
// replace the file standing there.
bool MayReplace(const std::string& path);

// An open file, closed with the object. Move only.
class FileHandle {
  public:
    FileHandle() = default;
    explicit FileHandle(std::intptr_t native) : m_native(native) {}
    FileHandle(FileHandle&& other) noexcept : m_native(other.m_native) { other.m_native = -1; }
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            Close();
            m_native = std::exchange(other.m_native, -1);
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Close(); }

    bool Valid() const { return m_native != -1; }
    // The platform's own value, for its implementation of these functions.
    std::intptr_t Native() const { return m_native; }
    ErrorCode Close();

  private:
    std::intptr_t m_native = -1;
};

struct OpenResult {
    FileHandle file;
    ErrorCode error = 0;
    bool ok() const { return file.Valid(); }
};

// A device or named pipe, for writing in place. Opening never waits: a pipe without a reader
// fails with kNoReader. A path that no longer leads to a file of that kind fails too.
OpenResult OpenDeviceForWriting(const std::string& path, FileKind kind);
// An existing regular file for writing in place from its start; nothing is cut off yet.
OpenResult OpenFileForWriting(const std::string& path);
// An existing regular file for reading from its start. Never waits for a pipe; anything but
// a regular file fails.
OpenResult OpenFileForReading(const std::string& path);
// A new file that did not exist before, with the permissions the user's defaults give it.
OpenResult CreateNewFile(const std::string& path);
// A regular file for reading and writing, or for reading only where writing is not allowed
// (writable says which). Never waits for a pipe; anything but a regular file fails.
struct UpdateResult {
    FileHandle file;
    ErrorCode error = 0;
    bool writable = false;
    bool notRegular = false;
};
UpdateResult OpenFileForUpdate(const std::string& path);

// The descriptor this program was started with (standard output, a file the shell opened for
// it) that leads to the file at path and may be written, for writing through it at its own
// position; an invalid handle when there is none. Where path names a descriptor itself
// (/dev/stderr, /dev/fd/3), that one is taken.
FileHandle InheritedDescriptorFor(const std::string& path);
// Whether path leads to the file behind the program's standard output.
bool LeadsToStandardOutput(const std::string& path);

FileInfo InspectOpen(const FileHandle& file);
// All of it at the file's own position; a reader that went away fails the write instead of
// ending the program.
ErrorCode WriteAll(FileHandle& file, const void* data, std::size_t size);
ErrorCode WriteAt(FileHandle& file, std::uint64_t offset, const void* data, std::size_t size);
// As much as there is from offset on, up to size; got says how much.
ErrorCode ReadAt(FileHandle& file, std::uint64_t offset, void* data, std::size_t size,
                 std::size_t& got);
ErrorCode Truncate(FileHandle& file, std::uint64_t size);
ErrorCode Sync(FileHandle& file);
ErrorCode SetPermissions(FileHandle& file, std::uint32_t permissions);

ErrorCode Rename(const std::string& from, const std::string& to);
// The same for the file open in file, which stays open for writing at its position, now
// under its new name. (Windows renames no open file; there it is closed and opened again.)
ErrorCode RenameOpenFile(FileHandle& file, const std::string& from, const std::string& to);
ErrorCode Remove(const std::string& path);
// Makes a rename or a new name in the folder of path durable.
void SyncDirectoryOf(const std::string& path);

// This program's process number, and whether a process with that number still runs.
long ProcessId();
bool ProcessRuns(long id);

}  // namespace velmo::sys
