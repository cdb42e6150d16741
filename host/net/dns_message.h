// DNS messages for the mail-exchanger lookup: the MX query we send and the reading of the answer
// records of a response. Portable: nothing here touches the network.
//
// A response is untrusted input. Every length and compression pointer is checked against the
// message size, a chain of pointers is followed at most max_name_jumps times (which ends a pointer
// loop), and answer records of other types are skipped by their data length.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarpon::host::dns {

inline constexpr uint16_t type_mx = 15;
inline constexpr uint16_t class_in = 1;
// The transaction identifier of every query we send.
inline constexpr uint16_t query_id = 0x5154;
// Compression pointers followed while one name is read. A legal name needs far fewer (it has at
// most 127 labels); a chain longer than this is a loop.
inline constexpr int max_name_jumps = 64;
// The longest name in text form: 255 bytes in wire form less the length bytes.
inline constexpr size_t max_name_length = 253;

struct MailExchanger {
    std::string name; // labels joined with "."
    uint16_t preference = 0;

    bool operator==(const MailExchanger&) const = default;
};

// The query for the MX records of `domain`: header (the identifier, recursion desired, one
// question), the name in label form, type MX, class IN. No TCP length prefix. Nothing when the
// domain cannot be written as labels (an empty label inside it, a label over 63 bytes, a name over
// 255 bytes); one final dot is allowed.
std::optional<std::vector<uint8_t>> mx_query(std::string_view domain, uint16_t id = query_id);

// The mail exchangers of a response to a query with identifier `id`, in answer order. A response
// that is not one (too short, another identifier, not marked as a response) gives none; a record
// that cannot be read whole ends the parse, keeping the records read before it.
std::vector<MailExchanger> parse_mx_response(std::span<const uint8_t> response, uint16_t id = query_id);

// Reads the possibly compressed name at `offset`; on success `offset` moves past the name as it
// stands at that place (a pointer counts two bytes). Nothing when the name leaves the message, a
// label has a reserved type, the text grows past max_name_length or the pointers loop.
std::optional<std::string> read_name(std::span<const uint8_t> message, size_t& offset);

} // namespace tarpon::host::dns
