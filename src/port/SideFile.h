#pragma once

#include <string>
#include <vector>

namespace velmo {

// A file a backend keeps beside its lines (the line trace, the simulated chip's flash).
class SideFile {
  public:
    virtual ~SideFile() = default;
    // Writes out what the file still lacks and returns the first failure to write it, a German
    // message that names the file, or an empty string. May be called at any time and more than
    // once; a front end asks after each run, since a lost write is no success.
    virtual std::string FinishFile() = 0;
    // Whether path names this file, which must then be neither an input nor an output of the
    // call that runs beside it.
    virtual bool IsFile(const std::string& path) const = 0;
};

// The side files of one backend, asked together. The files belong to the backend; the list
// must not outlive it.
class SideFiles {
  public:
    void Add(SideFile& file) { m_files.push_back(&file); }
    void AddFirst(SideFile& file) { m_files.insert(m_files.begin(), &file); }
    // Finishes every file; the first failure, or an empty string.
    std::string Finish() {
        std::string first;
        for (SideFile* file : m_files) {
            std::string lost = file->FinishFile();
            if (first.empty()) first = std::move(lost);
        }
        return first;
    }
    bool Writes(const std::string& path) const {
        for (const SideFile* file : m_files) {
            if (file->IsFile(path)) return true;
        }
        return false;
    }

  private:
    std::vector<SideFile*> m_files;
};

}  // namespace velmo
