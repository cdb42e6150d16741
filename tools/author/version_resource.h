// The version resource (type 16, name 1) filled from the About fields: product name (title),
// description, company, legal notice, version, and the contact line as comments.
#pragma once

#include <cstdint>
#include <vector>

#include "projector/appdata/settings.h"

namespace tarpon::author {

// A VS_VERSIONINFO block; the numeric version is read from the leading numbers of the version
// text ("1.2.3.4", missing parts 0).
std::vector<uint8_t> version_resource(const appdata::Settings& settings);

}  // namespace tarpon::author
