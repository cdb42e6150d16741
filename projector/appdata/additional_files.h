// Getting an additional file: a path relative to the archive's root (or, without an archive, to
// the executable's folder) turned into a file on disk. Archive files are extracted below the run
// folder's "_extra" sub-folder on first request and reused afterwards.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>

namespace tarpon::appdata {

class ByteSource;

class AdditionalFiles {
public:
    // `executable` is read for its archive (kept open by the caller for as long as this object
    // lives); `exe_folder` and `run_folder` end in a separator or are joined with one.
    AdditionalFiles(const ByteSource& executable, std::string exe_folder, std::string run_folder)
        : m_executable(executable), m_exe_folder(std::move(exe_folder)), m_run_folder(std::move(run_folder)) {}

    // The absolute path of the file or folder, or "" when there is none (or a file in it is
    // corrupt). "/" and "\" both separate the parts; names are compared without regard to case.
    std::string get(std::string_view relative_path);

private:
    const ByteSource& m_executable;
    std::string m_exe_folder;
    std::string m_run_folder;
    // Files this run extracted: only these are reused. A file of the same name left by someone
    // else is extracted again over it.
    std::set<std::string> m_extracted;
    // Files already given, by their requested path in upper case: a second request is answered
    // without reading the archive again.
    std::map<std::string, std::string> m_given;

    friend struct AdditionalFilesWalk;
};

}  // namespace tarpon::appdata
