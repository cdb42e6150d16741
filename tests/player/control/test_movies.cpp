#include "test_movies.h"

#include <zlib.h>

#include <algorithm>

namespace tarpon::player::test {

namespace {

constexpr int twips = 20;

class Bits {
public:
    void put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            m_current = static_cast<uint8_t>((m_current << 1) | ((value >> i) & 1));
            if (++m_used == 8) {
                bytes.push_back(m_current);
                m_current = 0;
                m_used = 0;
            }
        }
    }
    void put_signed(int32_t value, int count) { put(static_cast<uint32_t>(value) & ((1u << count) - 1), count); }
    void flush() {
        if (m_used > 0) {
            put(0, 8 - m_used);
        }
    }
    std::vector<uint8_t> bytes;

private:
    uint8_t m_current = 0;
    int m_used = 0;
};

// Bits a signed field needs for every value.
int signed_bits(std::initializer_list<int32_t> values) {
    int bits = 1;
    for (int32_t v : values) {
        int needed = 1;
        while (v < -(1 << (needed - 1)) || v >= (1 << (needed - 1))) {
            ++needed;
        }
        bits = std::max(bits, needed);
    }
    return bits;
}

void put_rect(Bits& bits, int32_t x_min, int32_t x_max, int32_t y_min, int32_t y_max) {
    int n = signed_bits({x_min, x_max, y_min, y_max});
    bits.put(static_cast<uint32_t>(n), 5);
    bits.put_signed(x_min, n);
    bits.put_signed(x_max, n);
    bits.put_signed(y_min, n);
    bits.put_signed(y_max, n);
    bits.flush();
}

void put_u16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void put_u32(std::vector<uint8_t>& out, uint32_t value) {
    put_u16(out, value & 0xFFFF);
    put_u16(out, value >> 16);
}

void put_string(std::vector<uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

void append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) { out.insert(out.end(), more.begin(), more.end()); }

void action(std::vector<uint8_t>& out, uint8_t code, const std::vector<uint8_t>& payload = {}) {
    out.push_back(code);
    if (code >= 0x80) {
        put_u16(out, static_cast<uint32_t>(payload.size()));
        append(out, payload);
    }
}

} // namespace

Actions& Actions::get_url(const std::string& url, const std::string& target) {
    std::vector<uint8_t> payload;
    put_string(payload, url);
    put_string(payload, target);
    action(m_bytes, 0x83, payload);
    return *this;
}

Actions& Actions::stop() {
    action(m_bytes, 0x07);
    return *this;
}

Actions& Actions::play() {
    action(m_bytes, 0x06);
    return *this;
}

Actions& Actions::push(const std::string& text) {
    std::vector<uint8_t> payload{0};
    put_string(payload, text);
    action(m_bytes, 0x96, payload);
    return *this;
}

Actions& Actions::set_variable() {
    action(m_bytes, 0x1D);
    return *this;
}

void Tags::tag(int code, const std::vector<uint8_t>& body) {
    if (body.size() < 0x3F) {
        put_u16(m_bytes, static_cast<uint32_t>(code << 6 | body.size()));
    } else {
        put_u16(m_bytes, static_cast<uint32_t>(code << 6 | 0x3F));
        put_u32(m_bytes, static_cast<uint32_t>(body.size()));
    }
    append(m_bytes, body);
}

Tags& Tags::background(uint32_t rgb) {
    tag(9, {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb)});
    return *this;
}

Tags& Tags::rectangle(uint16_t id, int x, int y, int width, int height, uint32_t rgb) {
    const int32_t left = x * twips, top = y * twips, w = width * twips, h = height * twips;
    std::vector<uint8_t> body;
    put_u16(body, id);
    Bits bounds;
    put_rect(bounds, left, left + w, top, top + h);
    append(body, bounds.bytes);
    // One solid fill, no line styles.
    body.insert(body.end(), {1, 0x00, static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                             static_cast<uint8_t>(rgb), 0});
    body.push_back(0x10); // one fill index bit, no line bits
    Bits records;
    // Move to the top left corner with fill style 1 on the right-hand side.
    records.put(0, 1);
    records.put(0b00101, 5); // no new styles or line style, fill 1, no fill 0, move
    int move_bits = signed_bits({left, top});
    records.put(static_cast<uint32_t>(move_bits), 5);
    records.put_signed(left, move_bits);
    records.put_signed(top, move_bits);
    records.put(1, 1);
    const int32_t deltas[4][2] = {{w, 0}, {0, h}, {-w, 0}, {0, -h}};
    for (const auto& d : deltas) {
        int n = std::max(2, signed_bits({d[0], d[1]}));
        records.put(1, 1); // edge
        records.put(1, 1); // straight
        records.put(static_cast<uint32_t>(n - 2), 4);
        records.put(1, 1); // general line
        records.put_signed(d[0], n);
        records.put_signed(d[1], n);
    }
    records.put(0, 6); // end of shape
    records.flush();
    append(body, records.bytes);
    tag(2, body);
    return *this;
}

Tags& Tags::button(uint16_t id, uint16_t shape, const Actions& on_release) {
    std::vector<uint8_t> body;
    put_u16(body, id);
    body.push_back(0x0F); // hit, down, over and up
    put_u16(body, shape);
    put_u16(body, 1);
    body.push_back(0); // identity matrix
    body.push_back(0); // end of records
    append(body, on_release.bytes());
    body.push_back(0);
    tag(7, body);
    return *this;
}

Tags& Tags::sprite(uint16_t id, const Tags& timeline, int frames) {
    std::vector<uint8_t> body;
    put_u16(body, id);
    put_u16(body, static_cast<uint32_t>(frames));
    append(body, timeline.bytes());
    put_u16(body, 0); // end
    tag(39, body);
    return *this;
}

Tags& Tags::place(uint16_t id, uint16_t depth, const std::string& name) {
    std::vector<uint8_t> body;
    body.push_back(static_cast<uint8_t>(0x02 | 0x04 | (name.empty() ? 0 : 0x20)));
    put_u16(body, depth);
    put_u16(body, id);
    body.push_back(0); // identity matrix
    if (!name.empty()) {
        put_string(body, name);
    }
    tag(26, body);
    return *this;
}

Tags& Tags::remove(uint16_t depth) {
    std::vector<uint8_t> body;
    put_u16(body, depth);
    tag(28, body);
    return *this;
}

Tags& Tags::actions(const Actions& actions) {
    std::vector<uint8_t> body = actions.bytes();
    body.push_back(0);
    tag(12, body);
    return *this;
}

Tags& Tags::label(const std::string& name) {
    std::vector<uint8_t> body;
    put_string(body, name);
    tag(43, body);
    return *this;
}

Tags& Tags::show_frame() {
    tag(1, {});
    return *this;
}

std::vector<uint8_t> movie(int width, int height, double rate, int frames, const Tags& tags, bool compressed) {
    std::vector<uint8_t> body;
    Bits frame;
    put_rect(frame, 0, width * twips, 0, height * twips);
    append(body, frame.bytes);
    put_u16(body, static_cast<uint32_t>(rate * 256));
    put_u16(body, static_cast<uint32_t>(frames));
    append(body, tags.bytes());
    put_u16(body, 0); // end
    std::vector<uint8_t> file{compressed ? uint8_t('C') : uint8_t('F'), 'W', 'S', 6};
    put_u32(file, static_cast<uint32_t>(8 + body.size()));
    if (!compressed) {
        append(file, body);
        return file;
    }
    uLongf size = compressBound(static_cast<uLong>(body.size()));
    std::vector<uint8_t> packed(size);
    compress2(packed.data(), &size, body.data(), static_cast<uLong>(body.size()), 9);
    packed.resize(size);
    append(file, packed);
    return file;
}

} // namespace tarpon::player::test
