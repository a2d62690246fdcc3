#include "image/OutputFile.h"

#include <cstdlib>

#include "sys/Lock.h"

namespace velmo {
namespace {

using sys::FileKind;

// Keeps the name well inside the usual 255-byte limit of a file name.
constexpr std::size_t kBaseLength = 200;

std::string TemporaryPrefix(const std::string& target) {
    return "." + sys::NameOf(target).substr(0, kBaseLength) + ".tmp-";
}

std::string Beside(const std::string& target, const std::string& name) {
    const std::string folder = sys::DirectoryOf(target);
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// New files of writers that were killed before they could publish or remove them. A live
// writer's file carries its lock, so a file whose process is gone and whose lock is free
// belongs to nobody.
void RemoveLeftovers(const std::string& target) {
    const std::string prefix = TemporaryPrefix(target);
    for (const std::string& name : sys::ListDirectory(sys::DirectoryOf(target))) {
        if (name.rfind(prefix, 0) != 0) continue;
        const long owner = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (owner == sys::ProcessId() || sys::ProcessRuns(owner)) continue;
        const std::string path = Beside(target, name);
        sys::OpenResult file = sys::OpenFileForWriting(path);
        if (file.ok() && sys::TryLock(file.file).outcome == sys::LockOutcome::Taken) {
            sys::Remove(path);
        }
    }
}

OutputPlan Refused(FileKind kind, OutputError error, sys::ErrorCode reason = 0) {
    OutputPlan plan;
    plan.kind = kind;
    plan.refusal = {error, reason};
    return plan;
}

}  // namespace

std::string DescribeOutputError(const OutputResult& result) {
    const std::string reason =
        result.systemError != 0 ? sys::ErrorText(result.systemError) : std::string();
    switch (result.error) {
        case OutputError::None:
            return {};
        case OutputError::CannotCreate:
            return reason.empty() ? "sie kann nicht angelegt werden" : reason;
        case OutputError::NoReader:
            return "es ist eine benannte Pipe, aus der niemand liest";
        case OutputError::Directory:
            return "es ist ein Verzeichnis";
        case OutputError::NotAFile:
            return "es ist weder eine Datei noch ein Zeichengerät oder eine benannte Pipe";
        case OutputError::Incomplete:
            return "nicht vollständig geschrieben" + (reason.empty() ? "" : " (" + reason + ")");
    }
    return {};
}

OutputPlan PlanOutput(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        return Refused(FileKind::Missing, OutputError::CannotCreate, sys::kNoSuchFile);
    }
    const sys::FileInfo info = sys::Inspect(path);
    if (info.error != 0) return Refused(info.kind, OutputError::CannotCreate, info.error);
    OutputPlan plan;
    plan.kind = info.kind;
    plan.file = path;
    if (sys::InheritedDescriptorFor(path).Valid()) {
        plan.way = OutputWay::Descriptor;
        return plan;
    }
    switch (info.kind) {
        case FileKind::Directory:
            return Refused(info.kind, OutputError::Directory);
        case FileKind::Socket:
        case FileKind::Other:
            return Refused(info.kind, OutputError::NotAFile);
        case FileKind::CharDevice:
        case FileKind::Fifo:
            plan.way = OutputWay::Device;
            return plan;
        case FileKind::Regular:
        case FileKind::Missing:
            break;
    }
    if (path.back() == '/') return Refused(info.kind, OutputError::CannotCreate, sys::kNoSuchFile);
    // Through a symbolic link: the file it names, also one it names that is not there yet.
    plan.file = sys::CreationTarget(path);
    const bool exists = info.kind == FileKind::Regular;
    if (!exists && sys::Inspect(sys::DirectoryOf(plan.file)).kind != FileKind::Directory) {
        return Refused(info.kind, OutputError::CannotCreate, sys::kNoSuchFile);
    }
    // A file its owner made read-only stays: a rename would go round its mode.
    if (exists && !sys::MayWrite(plan.file)) {
        return Refused(info.kind, OutputError::CannotCreate, sys::kAccessDenied);
    }
    if (sys::MayReplace(plan.file)) {
        plan.way = OutputWay::Replace;
    } else if (exists) {
        plan.way = OutputWay::InPlaceFile;
    } else {
        return Refused(info.kind, OutputError::CannotCreate, sys::kAccessDenied);
    }
    return plan;
}

OutputFile::~OutputFile() {
    Discard();
}

void OutputFile::Fail(OutputError error, sys::ErrorCode systemError) {
    if (m_status.ok()) m_status = {error, systemError};
}

void OutputFile::Discard() {
    m_file.Close();
    if (!m_temporary.empty()) sys::Remove(m_temporary);
    m_temporary.clear();
}

bool OutputFile::OpenBeside(const OutputPlan& plan) {
    RemoveLeftovers(plan.file);
    static unsigned counter = 0;
    sys::OpenResult created;
    for (int attempt = 0; attempt < 100 && !created.ok(); ++attempt) {
        m_temporary =
            Beside(plan.file, TemporaryPrefix(plan.file) + std::to_string(sys::ProcessId()) + "-" +
                                  std::to_string(++counter));
        created = sys::CreateNewFile(m_temporary);
        if (!created.ok() && sys::Inspect(m_temporary).kind == FileKind::Missing) break;
    }
    if (!created.ok()) {
        m_temporary.clear();
        Fail(OutputError::CannotCreate, created.error);
        return false;
    }
    m_file = std::move(created.file);
    // Marks the new file as in use, so that no other writer takes it for a leftover.
    sys::TryLock(m_file);
    // Replacing an existing file keeps its permissions, as overwriting it in place would.
    if (plan.kind == FileKind::Regular) {
        const sys::FileInfo old = sys::Inspect(plan.file);
        if (const sys::ErrorCode error = sys::SetPermissions(m_file, old.permissions)) {
            Fail(OutputError::CannotCreate, error);
            Discard();
            return false;
        }
    }
    return true;
}

OutputResult OutputFile::Open(const std::string& path) {
    Discard();
    m_status = {};
    m_written = 0;
    const OutputPlan plan = PlanOutput(path);
    m_way = plan.way;
    m_target = plan.file;
    sys::OpenResult opened;
    switch (plan.way) {
        case OutputWay::Refused:
            m_status = plan.refusal;
            return m_status;
        case OutputWay::Descriptor:
            m_file = sys::InheritedDescriptorFor(path);
            if (!m_file.Valid()) Fail(OutputError::CannotCreate, sys::kNoSuchFile);
            return m_status;
        case OutputWay::Device:
            opened = sys::OpenDeviceForWriting(path, plan.kind);
            if (opened.error == sys::kNoReader && plan.kind == FileKind::Fifo) {
                Fail(OutputError::NoReader, opened.error);
            } else if (!opened.ok()) {
                Fail(OutputError::CannotCreate, opened.error);
            }
            m_file = std::move(opened.file);
            return m_status;
        case OutputWay::InPlaceFile:
            opened = sys::OpenFileForWriting(plan.file);
            if (!opened.ok()) Fail(OutputError::CannotCreate, opened.error);
            m_file = std::move(opened.file);
            return m_status;
        case OutputWay::Replace:
            OpenBeside(plan);
            return m_status;
    }
    return m_status;
}

bool OutputFile::Write(const void* data, std::size_t size) {
    if (!m_file.Valid() || !m_status.ok()) return false;
    if (const sys::ErrorCode error = sys::WriteAll(m_file, data, size)) {
        Fail(OutputError::Incomplete, error);
        return false;
    }
    m_written += size;
    return true;
}

OutputResult OutputFile::Publish() {
    if (!m_file.Valid()) return m_status;
    if (m_way == OutputWay::InPlaceFile) {
        // What stood there before and reaches beyond the new content goes.
        if (m_status.ok()) {
            if (const sys::ErrorCode error = sys::Truncate(m_file, m_written)) {
                Fail(OutputError::Incomplete, error);
            }
        }
        return m_status;
    }
    if (m_way != OutputWay::Replace) return m_status;
    if (!m_status.ok()) {
        Discard();
        return m_status;
    }
    if (m_temporary.empty()) return m_status;  // published before
    if (const sys::ErrorCode error = sys::Sync(m_file)) {
        Fail(OutputError::Incomplete, error);
        Discard();
        return m_status;
    }
    // The target was a file or nothing when it was opened; whatever came there since is
    // replaced only if it is a file again.
    const FileKind now = sys::Inspect(m_target).kind;
    if (now != FileKind::Missing && now != FileKind::Regular) {
        Fail(now == FileKind::Directory ? OutputError::Directory : OutputError::NotAFile, 0);
        Discard();
        return m_status;
    }
    if (const sys::ErrorCode error = sys::RenameOpenFile(m_file, m_temporary, m_target)) {
        Fail(OutputError::CannotCreate, error);
        Discard();
        return m_status;
    }
    m_temporary.clear();
    sys::SyncDirectoryOf(m_target);
    return m_status;
}

OutputResult OutputFile::Close() {
    Publish();
    if (m_file.Valid()) {
        if (const sys::ErrorCode error = m_file.Close()) Fail(OutputError::Incomplete, error);
    }
    return m_status;
}

OutputResult WriteOutputFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    OutputFile file;
    if (!file.Open(path).ok()) return file.Status();
    file.Write(data, size);
    return file.Close();
}

}  // namespace velmo
