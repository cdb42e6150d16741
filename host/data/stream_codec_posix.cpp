#include "host/data/stream_codec.h"

namespace tarpon::host::data {

// Away from Windows the engine's narrow text is UTF-8, surrogates' three-byte forms included.
size_t ansi_cut_tail(std::string_view bytes) { return utf8_cut_tail(bytes, true); }

}  // namespace tarpon::host::data
