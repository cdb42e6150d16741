// Reading a message: its header fields, and its body taken apart into the parts Mail tells apart.
// Any bytes are a message; what cannot be read as one is left out, never an error.
#pragma once

#include <string_view>

#include "host/net/mime_message.h"

namespace tarpon::mime {

// The fields of the message's own header block, encoded words decoded.
MessageHeaders parse_headers(std::string_view message);

// The parts of the body, found by walking multiparts down to their leaves. A leaf's range ends at
// the line break that begins the next delimiter line, less one more "\r\n" when it ends with one
// (the empty line our writer puts after every body); a message that is not a multipart loses the
// "\r\n\r\n" it ends with for the same reason.
ParsedMessage parse_message(std::string_view message);

}  // namespace tarpon::mime
