// `build`: a project folder made into a projector executable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "projector/pe/resources.h"
#include "tools/author/project.h"
#include "tools/author/runtime_files.h"

namespace tarpon::author {

struct BuildOptions {
    std::string project_dir;
    std::string output;  // default: <project>/<folder name>.exe
    std::string stub;    // default: tarpon.exe from the runtime folders
    std::string player;  // default: the project's module, else tarpon-player.dll from the runtime folders
    RuntimeSearch search;
};

// The application data of a project: its resources (in the order they are written) and the
// appended archive with its trailer. Faults go to `errors`, one line each.
struct ProjectItems {
    std::vector<pe::Resource> resources;
    std::vector<uint8_t> appended;
    std::vector<std::string> errors;
};
ProjectItems project_items(const Project& project, const BuildOptions& options);

// Builds and reports on standard output and error; the exit status (0 built, 1 failed).
int build_command(const BuildOptions& options);

// Resource names of our items.
pe::ResourceName resource_name(const std::string& ascii);

}  // namespace tarpon::author
