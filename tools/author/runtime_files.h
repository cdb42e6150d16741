// Where the tool finds the projector stub (tarpon.exe) and the stand-in player (tarpon-player.dll):
// a file named on the command line, else the first of these folders that holds it: --runtime DIR,
// the environment variable TARPON_RUNTIME, the tool's own folder, and the folder fixed when the
// tool was configured.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarpon::author {

constexpr const char* stub_name = "tarpon.exe";
constexpr const char* player_name = "tarpon-player.dll";

struct RuntimeSearch {
    std::string runtime_dir;  // --runtime, or empty
};

// The folders searched, in order.
std::vector<std::string> runtime_folders(const RuntimeSearch& search);
// The file's path in the first folder that has it, or nothing.
std::optional<std::string> find_runtime_file(const RuntimeSearch& search, const std::string& name);
// The folder the running tool lies in.
std::string own_folder();

}  // namespace tarpon::author
