// A project folder's tarpon.toml: the settings record with a readable key for every field, and
// what else goes into the executable (identity, movies, masks, pictures, player module, icon).
//
// File names in the project are relative to the project folder.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "projector/appdata/settings.h"

namespace tarpon::author {

constexpr const char* project_file_name = "tarpon.toml";

// The support libraries in the order of their items $1 .. $4.
constexpr const char* support_keys[4] = {"msvcrt", "oleaut32", "urlmon", "wininet"};

struct Project {
    std::string registry_key = "Tarpon";
    std::optional<std::string> profile;
    // Every field but the two embedded files, whose names follow.
    appdata::Settings settings;
    std::string help_file;    // field 32
    std::string about_movie;  // field 43
    std::string about_picture;
    std::string icon;
    bool random_start = false;
    bool stored = true;
    std::optional<std::vector<std::string>> movies;  // all of movies/ when not given
    std::vector<std::string> plug_ins;
    std::optional<uint32_t> mask_key_colour;
    std::string player_module;  // the stand-in player when empty
    std::array<std::string, 4> support;
};

// Reads a project file. Every fault (syntax, an unknown key, a bad value) is one line of `errors`,
// "FILE:LINE: KEY: what".
struct ProjectRead {
    Project project;
    std::vector<std::string> errors;
};
ProjectRead read_project(const std::string& path);
ProjectRead read_project_text(const std::string& text, const std::string& name);

// The project file's text for the project: every settings field, so that reading it back gives
// the same record.
std::string project_text(const Project& project);

}  // namespace tarpon::author
