#include "tools/author/new_project.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tools/author/project.h"
#include "tools/author/starter_movie.h"

namespace tarpon::author {

namespace fs = std::filesystem;

namespace {

const char* const project_template = R"(# A Tarpon presentation. `tarpon-author build .` makes the projector executable from this folder:
# scripts/*.qls are compiled, movies/ are packed, files/ is appended for getAdditionalFile.

[identity]
# The registry key (below HKEY_CURRENT_USER\Software) and the profile that keep saved options.
registry_key = "Tarpon"
profile = "%s"

[about]
title = "%s"
description = "A Tarpon presentation"
company = ""
version = "1.0"

[window]
shape = "rectangle"                 # rectangle, transparent, mask, double_drawing
frame = ["caption"]                 # no_border, caption, sizing_border, tool_window, no_taskbar_button
caption_buttons = ["minimize", "system_menu"]
scale = "show_all"                  # show_all, no_border, no_scale, exact_fit
caption = "%s"
size = "movie"                      # movie, full_screen, maximized, custom, percent
width = 640
height = 480
position = "centre"                 # top_left ... bottom_right, centre, custom, custom_percent
flags = ["play_on_load"]            # play_on_load, tray_app_icon, start_minimized, always_on_top, tray_icon
background = "#FFFFFF"

[input]
left_button = "movie"               # movie, drag, ignore
right_button = "projector_menu"     # player_menu, projector_menu, ignore
exit_keys = ["escape"]              # escape, hot_key
# hot_key = "Ctrl+Shift+F5"

[menus]
items = ["about"]                   # options, player, about, help

[movies]
random_start = false
stored = true                       # false: the movies are named beside the executable
)";

const char* const script_template = R"(// Runs once when the projector starts, before the first movie plays. Returning false ends the
// presentation.
var started = new Date();
var clicks = 0;
true;
)";

// The script the starter movie's orange button runs (fscommand("Quill_Run", "Hello")).
const char* const hello_template = R"qls(// Runs each time the orange button of movies/start.swf is released: the movie sends
// fscommand("Quill_Run", "Hello"). Globals stay between runs (Initialize set `started` and
// `clicks`), so the count goes on.
if (typeof clicks == "undefined") clicks = 0;
if (typeof started == "undefined") started = new Date();
clicks++;
var seconds = Math.round((new Date().getTime() - started.getTime()) / 1000);
getMainWnd().caption = "Hello from Quill Script! " + clicks + (clicks == 1 ? " click" : " clicks") +
    " after " + seconds + " s (the small square in the corner quits)";
)qls";

}  // namespace

int new_command(const std::string& project_dir) {
    fs::path dir(project_dir);
    std::error_code error;
    if (fs::exists(dir / project_file_name, error)) {
        std::fprintf(stderr, "%s: a project is already there\n", (dir / project_file_name).string().c_str());
        return 1;
    }
    for (const char* folder : {"scripts", "movies", "files"}) {
        fs::create_directories(dir / folder, error);
        if (error) {
            std::fprintf(stderr, "%s: cannot be made: %s\n", (dir / folder).string().c_str(), error.message().c_str());
            return 1;
        }
    }
    std::string name = fs::absolute(dir).lexically_normal().filename().string();
    if (name.empty()) {
        name = fs::absolute(dir).lexically_normal().parent_path().filename().string();
    }
    // The folder name goes into quoted strings: keep only what needs no escaping.
    std::string safe;
    for (char c : name) {
        if (c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20) {
            safe += c;
        }
    }
    if (safe.empty()) {
        safe = "Presentation";
    }
    char text[4096];
    std::snprintf(text, sizeof text, project_template, safe.c_str(), safe.c_str(), safe.c_str());
    std::ofstream(dir / project_file_name, std::ios::binary) << text;
    std::ofstream(dir / "scripts" / "Initialize.qls", std::ios::binary) << script_template;
    std::ofstream(dir / "scripts" / "Hello.qls", std::ios::binary) << hello_template;
    if (!write_starter_movie((dir / "movies" / "start.swf").string())) {
        std::fprintf(stderr, "%s: can't write the starter movie\n", (dir / "movies" / "start.swf").string().c_str());
        return 1;
    }
    std::printf("new project in %s\n", project_dir.c_str());
    return 0;
}

}  // namespace tarpon::author
