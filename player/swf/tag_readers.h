// The readers of single records and tags, shared by the movie reader's tag loop.
#pragma once

#include "player/swf/byte_reader.h"
#include "player/swf/movie_data.h"

namespace tarpon::swf {

Rect read_rect(ByteReader& in);
Matrix read_matrix(ByteReader& in);
// CXFORM (with_alpha false) or CXFORMWITHALPHA.
ColorTransform read_color_transform(ByteReader& in, bool with_alpha);
Rgba read_rgb(ByteReader& in);
Rgba read_rgba(ByteReader& in);

// DefineShape (shape_version 1), DefineShape2 (2) and DefineShape3 (3), after the character id.
bool read_shape(ByteReader& in, int shape_version, Shape& shape);
// DefineBitsLossless (version 1) and DefineBitsLossless2 (2), after the character id.
bool read_lossless_bitmap(ByteReader& in, int version, Bitmap& bitmap);

// Inflates a zlib stream into at most `limit` bytes. False when the stream is broken; a stream
// with more data than the limit is cut there (and `truncated` set).
bool inflate_bounded(std::span<const uint8_t> input, size_t limit, std::vector<uint8_t>& output,
                     bool* truncated = nullptr);

} // namespace tarpon::swf
