// tarpon-author: makes a projector executable from a project folder, and reads one back.
//
//   tarpon-author new DIR                  a small working project
//   tarpon-author build DIR [-o OUT.exe]   the projector executable for the project
//   tarpon-author inspect FILE.exe         every item, and the settings as tarpon.toml text
//   tarpon-author unpack FILE.exe DIR      the project folder back from the executable
//
// Exit status: 0 done, 1 the work failed (the reasons on standard error), 2 bad command line.
#include <CLI/CLI.hpp>

#include "tools/author/builder.h"
#include "tools/author/inspector.h"
#include "tools/author/new_project.h"

int main(int argc, char** argv) {
    using namespace tarpon::author;
    CLI::App app{"tarpon-author: makes projector executables from project folders, and reads them back"};
    app.require_subcommand(1);

    std::string new_dir;
    CLI::App* new_cmd = app.add_subcommand("new", "Write a small working project into DIR");
    new_cmd->add_option("DIR", new_dir, "Folder of the new project")->required();

    BuildOptions build;
    CLI::App* build_cmd = app.add_subcommand("build", "Make the projector executable of the project in DIR");
    build_cmd->add_option("DIR", build.project_dir, "Project folder (holds tarpon.toml)")->required();
    build_cmd->add_option("-o,--output", build.output, "Executable to write (default DIR/<folder name>.exe)");
    build_cmd->add_option("--stub", build.stub, "Projector stub to build on (default tarpon.exe from the runtime folders)");
    build_cmd->add_option("--player", build.player,
                          "Player module to pack (default the project's, else tarpon-player.dll from the runtime folders)");
    build_cmd->add_option("--runtime", build.search.runtime_dir,
                          "Folder searched first for tarpon.exe and tarpon-player.dll");

    std::string inspect_file;
    CLI::App* inspect_cmd = app.add_subcommand("inspect", "List the items of a projector and print its settings");
    inspect_cmd->add_option("FILE", inspect_file, "Projector executable")->required();

    std::string unpack_file, unpack_dir;
    CLI::App* unpack_cmd = app.add_subcommand("unpack", "Write the project folder of a projector executable");
    unpack_cmd->add_option("FILE", unpack_file, "Projector executable")->required();
    unpack_cmd->add_option("DIR", unpack_dir, "Folder to write the project into")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int status = app.exit(error);
        return status == 0 ? 0 : 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 4096);
    if (*new_cmd) {
        return new_command(new_dir);
    }
    if (*build_cmd) {
        return build_command(build);
    }
    if (*inspect_cmd) {
        return inspect_command(inspect_file);
    }
    return unpack_command(unpack_file, unpack_dir);
}
