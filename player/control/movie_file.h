// Where a movie comes from: the Movie property names a local file, as a path or as a file: URL.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/windows.h"

namespace tarpon::player {

// Movie files larger than this are refused rather than read into memory.
constexpr uint64_t max_movie_file_size = 256u << 20;

// The local path a Movie value names: file: URLs are converted; other URLs (http: and the like)
// name no local file and give an empty path.
std::wstring movie_path(const std::wstring& location);

// Reads the whole file. On failure the HRESULT says why (the file's system error, or E_OUTOFMEMORY
// for a file over the size bound).
HRESULT read_movie_file(const std::wstring& path, std::vector<uint8_t>& bytes);

} // namespace tarpon::player
