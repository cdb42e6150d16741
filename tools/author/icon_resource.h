// The application icon: an .ico file becomes the icon group 128 (type 14) and its images (type 3),
// in place of the stub's own group 128 and the images that group used.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "projector/pe/resources.h"

namespace tarpon::author {

constexpr uint16_t application_icon = 128;

// The fault's text, or empty when the icon was replaced.
std::string replace_icon(std::vector<pe::Resource>& resources, std::span<const uint8_t> ico);

// The icon group 128 as an .ico file, or empty when there is none.
std::vector<uint8_t> icon_file(std::span<const pe::Resource> resources);

}  // namespace tarpon::author
