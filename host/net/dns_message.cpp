// DNS messages for the mail-exchanger lookup: the query and the bounds-checked response reader.
#include "host/net/dns_message.h"

namespace tarpon::host::dns {

namespace {

constexpr size_t header_size = 12;
constexpr size_t max_label_length = 63;
constexpr size_t max_wire_name = 255;
constexpr uint16_t flag_response = 0x8000;
constexpr uint16_t flag_recursion_desired = 0x0100;

void put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}

// A cursor over the message that never reads past its end.
class Reader {
  public:
    explicit Reader(std::span<const uint8_t> message, size_t offset = 0)
        : m_message(message), m_offset(offset) {}

    bool has(size_t count) const {
        return m_offset <= m_message.size() && m_message.size() - m_offset >= count;
    }
    std::optional<uint16_t> u16() {
        if (!has(2)) {
            return std::nullopt;
        }
        const uint16_t value = static_cast<uint16_t>(m_message[m_offset] << 8 | m_message[m_offset + 1]);
        m_offset += 2;
        return value;
    }
    bool skip(size_t count) {
        if (!has(count)) {
            return false;
        }
        m_offset += count;
        return true;
    }
    std::optional<std::string> name() { return read_name(m_message, m_offset); }
    size_t offset() const { return m_offset; }

  private:
    std::span<const uint8_t> m_message;
    size_t m_offset;
};

} // namespace

std::optional<std::vector<uint8_t>> mx_query(std::string_view domain, uint16_t id) {
    if (!domain.empty() && domain.back() == '.') {
        domain.remove_suffix(1);
    }
    std::vector<uint8_t> query;
    put16(query, id);
    put16(query, flag_recursion_desired);
    put16(query, 1); // one question
    put16(query, 0);
    put16(query, 0);
    put16(query, 0);
    size_t wire_length = 1; // the final zero byte
    while (!domain.empty()) {
        const size_t dot = domain.find('.');
        const std::string_view label = domain.substr(0, dot);
        if (label.empty() || label.size() > max_label_length) {
            return std::nullopt;
        }
        wire_length += label.size() + 1;
        if (wire_length > max_wire_name) {
            return std::nullopt;
        }
        query.push_back(static_cast<uint8_t>(label.size()));
        query.insert(query.end(), label.begin(), label.end());
        if (dot == std::string_view::npos) {
            break;
        }
        domain.remove_prefix(dot + 1);
        if (domain.empty()) {
            return std::nullopt; // "a.b.." : an empty last label
        }
    }
    query.push_back(0);
    put16(query, type_mx);
    put16(query, class_in);
    return query;
}

std::optional<std::string> read_name(std::span<const uint8_t> message, size_t& offset) {
    std::string name;
    size_t at = offset;
    std::optional<size_t> resume; // where the name ends in place, once a pointer was followed
    int jumps = 0;
    for (;;) {
        if (at >= message.size()) {
            return std::nullopt;
        }
        const uint8_t length = message[at];
        if ((length & 0xC0) == 0xC0) {
            if (at + 1 >= message.size() || ++jumps > max_name_jumps) {
                return std::nullopt;
            }
            const size_t target = static_cast<size_t>(length & 0x3F) << 8 | message[at + 1];
            if (!resume) {
                resume = at + 2;
            }
            at = target;
            continue;
        }
        if ((length & 0xC0) != 0) {
            return std::nullopt; // the extended and reserved label types
        }
        if (length == 0) {
            offset = resume ? *resume : at + 1;
            return name;
        }
        if (message.size() - at - 1 < length) {
            return std::nullopt;
        }
        if (!name.empty()) {
            name.push_back('.');
        }
        name.append(reinterpret_cast<const char*>(message.data() + at + 1), length);
        if (name.size() > max_name_length) {
            return std::nullopt;
        }
        at += 1 + static_cast<size_t>(length);
    }
}

std::vector<MailExchanger> parse_mx_response(std::span<const uint8_t> response, uint16_t id) {
    std::vector<MailExchanger> exchangers;
    Reader header(response);
    const std::optional<uint16_t> response_id = header.u16();
    const std::optional<uint16_t> flags = header.u16();
    const std::optional<uint16_t> questions = header.u16();
    const std::optional<uint16_t> answers = header.u16();
    if (!response_id || *response_id != id || !flags || (*flags & flag_response) == 0 || !questions ||
        !answers) {
        return exchangers;
    }
    Reader reader(response, header_size);
    for (uint16_t i = 0; i < *questions; ++i) {
        if (!reader.name() || !reader.skip(4)) {
            return exchangers;
        }
    }
    for (uint16_t i = 0; i < *answers; ++i) {
        if (!reader.name()) {
            return exchangers;
        }
        const std::optional<uint16_t> type = reader.u16();
        const std::optional<uint16_t> record_class = reader.u16();
        if (!type || !record_class || !reader.skip(4)) {
            return exchangers;
        }
        const std::optional<uint16_t> data_length = reader.u16();
        if (!data_length || !reader.has(*data_length)) {
            return exchangers;
        }
        const size_t data_end = reader.offset() + *data_length;
        if (*type == type_mx && *record_class == class_in) {
            // The preference and the exchange name must both lie inside the record's data; the
            // name's pointers may lead anywhere in the message.
            Reader data(response.first(data_end), reader.offset());
            const std::optional<uint16_t> preference = data.u16();
            size_t name_offset = data.offset();
            std::optional<std::string> name;
            if (preference) {
                name = read_name(response, name_offset);
            }
            if (!name || name_offset > data_end) {
                return exchangers;
            }
            exchangers.push_back(MailExchanger{std::move(*name), *preference});
        }
        reader.skip(*data_length);
    }
    return exchangers;
}

} // namespace tarpon::host::dns
