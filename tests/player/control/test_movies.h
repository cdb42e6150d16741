// Small movies for the control's tests, written tag by tag: a background, rectangles, sprites,
// buttons and frame actions, plain or compressed. Only what the tests need; sizes are in pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarpon::player::test {

// Action records (without the end byte).
class Actions {
public:
    Actions& get_url(const std::string& url, const std::string& target);
    Actions& fscommand(const std::string& command, const std::string& argument) {
        return get_url("FSCommand:" + command, argument);
    }
    Actions& stop();
    Actions& play();
    Actions& push(const std::string& text);
    Actions& set_variable(); // value, name -- (the name pushed first)
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

// The control tags of one timeline (the movie's or a sprite's).
class Tags {
public:
    Tags& rectangle(uint16_t id, int x, int y, int width, int height, uint32_t rgb);
    Tags& button(uint16_t id, uint16_t shape, const Actions& on_release);
    Tags& sprite(uint16_t id, const Tags& timeline, int frames);
    Tags& place(uint16_t id, uint16_t depth, const std::string& name = {});
    Tags& remove(uint16_t depth);
    Tags& actions(const Actions& actions);
    Tags& label(const std::string& name);
    Tags& show_frame();
    Tags& background(uint32_t rgb);
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

private:
    void tag(int code, const std::vector<uint8_t>& body);
    std::vector<uint8_t> m_bytes;
};

// A whole movie file: the header for a width x height pixel frame, then the tags and an end tag.
std::vector<uint8_t> movie(int width, int height, double rate, int frames, const Tags& tags, bool compressed = false);

} // namespace tarpon::player::test
