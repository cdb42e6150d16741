#include "projector/appdata/command_line.h"

#include "projector/appdata/file_system.h"
#include "projector/appdata/item_source.h"

namespace tarpon::appdata {

CommandLine read_command_line(const std::vector<std::string>& arguments) {
    CommandLine result;
    for (const std::string& argument : arguments) {
        if (argument.empty() || argument[0] != '/') {
            result.movies.push_back(argument);
        }
    }
    for (const std::string& argument : arguments) {
        if (argument.size() > 3 && argument.compare(0, 3, "/o:") == 0) {
            std::string path = argument.substr(3);
            if (file_exists(path) && !folder_exists(path)) {
                result.options_file = path;
                break;
            }
        }
    }
    return result;
}

bool read_options_file(const std::string& path, Settings& settings, std::vector<MaskEntry>& masks) {
    settings = Settings{};
    masks.clear();
    auto bytes = read_file(path);
    if (!bytes) {
        return false;
    }
    RecordReader reader(*bytes);
    if (read_settings(reader, settings)) {
        read_mask_list(reader, masks);
    }
    return true;
}

}  // namespace tarpon::appdata
