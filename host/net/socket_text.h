// The byte side of the Socket class, portable: the queues that hold what was received and what is
// still to be sent, the character sets that turn those bytes into script text and back, and the
// rules that find where a piece of text ends (a whole character, a whole line) in bytes that arrive
// in pieces of any size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarpon::host::net {

// The bytes a socket holds for the script. Both queues are bounded so that a peer that sends faster
// than the script reads (or a script that sends faster than the peer reads) cannot exhaust memory:
// at the bound the socket stops reading, and TCP's flow control holds the peer back; a send that
// would pass it is refused. 64 MiB leaves room for any transfer a script makes in one piece.
constexpr size_t socket_queue_limit = 64u * 1024 * 1024;

// A byte queue: appended at the back, taken from the front. The taken part is dropped once it is
// at least half of what the queue holds, so taking costs no more than appending.
class ByteQueue {
  public:
    size_t size() const { return m_bytes.size() - m_head; }
    bool empty() const { return size() == 0; }
    std::string_view bytes() const { return std::string_view(m_bytes).substr(m_head); }
    void append(std::string_view bytes) { m_bytes.append(bytes); }
    // Drops the first `count` bytes (at most what the queue holds).
    void take(size_t count);
    // The first `count` bytes, dropped from the queue.
    std::string take_bytes(size_t count);
    void clear() {
        m_bytes.clear();
        m_head = 0;
    }

  private:
    std::string m_bytes;
    size_t m_head = 0;
};

// How script text and the bytes on the wire map onto each other.
enum class Charset : uint8_t {
    Ansi, // the system's ANSI code page
    Utf8,
    Utf16le,
    Binary, // one byte per code unit 0-255
};

// The charset of a name ("ansi", "utf-8", "utf-16le", "binary", in any case), nothing for others.
std::optional<Charset> charset_named(std::string_view name);
const char* charset_name(Charset charset);

// Tells whether a byte of the ANSI code page starts a two-byte character; null for a code page of
// single bytes.
using LeadBytePredicate = bool (*)(unsigned char byte);

// The length of the longest prefix of `bytes` that does not end inside a character: a UTF-8
// sequence whose continuation bytes have not all arrived, the odd byte of a UTF-16 unit, or an ANSI
// lead byte without its trail byte are left for later. Bytes that can never become a character
// (a stray continuation byte, a lead byte followed by something else) count as complete: they decode
// to U+FFFD rather than block what follows.
size_t complete_prefix(Charset charset, std::string_view bytes, LeadBytePredicate is_lead_byte = nullptr);

// The length of the first character of `bytes` when it is complete (at least 1 for bytes that can
// never become one), 0 when it is still arriving or there are no bytes.
size_t first_character_length(Charset charset, std::string_view bytes,
                              LeadBytePredicate is_lead_byte = nullptr);

// Decodes UTF-8 (malformed or overlong sequences and encoded surrogates give U+FFFD, one per bad
// byte), UTF-16LE (an odd last byte is dropped) or binary. ANSI text goes through the engine's
// code-page conversion instead; given here, it is read as binary.
std::u16string decode_bytes(Charset charset, std::string_view bytes);

// Encodes script text. UTF-8 writes a surrogate without its partner as U+FFFD; binary fails
// (nothing) for a code unit above 255 rather than cut it. ANSI, as above, is read as binary here.
std::optional<std::string> encode_text(Charset charset, std::u16string_view text);

// Where the first line of `bytes` ends: the length of the line without its "\n" or "\r\n", and the
// length with it. In UTF-16LE the line end is the unit 10 at an even offset.
struct LineEnd {
    size_t text_length;
    size_t total_length;
};
std::optional<LineEnd> find_line_end(Charset charset, std::string_view bytes);

} // namespace tarpon::host::net
