// Helpers for the player tests: a player that records its events, and a canvas to draw into.
#pragma once

#include "player/swf/movie_player.h"
#include "player/swf/swf_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarpon::swf::test {

struct Recorder {
    std::vector<std::pair<std::string, std::string>> commands;
    std::vector<std::pair<std::string, std::string>> urls;

    MoviePlayer::Events events() {
        return {[this](const std::string& c, const std::string& a) { commands.emplace_back(c, a); },
                [this](const std::string& u, const std::string& t) { urls.emplace_back(u, t); }};
    }
};

struct TestCanvas {
    int width, height;
    std::vector<uint32_t> pixels;

    TestCanvas(int w, int h) : width(w), height(h), pixels(size_t(w) * h, 0) {}
    Canvas canvas() { return {pixels.data(), width, height, width}; }
    uint32_t at(int x, int y) const { return pixels[size_t(y) * width + x] & 0xFFFFFF; }
};

// Draws the player's current frame one movie pixel to one canvas pixel.
inline TestCanvas draw(const MoviePlayer& player, int width, int height, int32_t background = -1) {
    TestCanvas canvas(width, height);
    Matrix view;
    view.a = view.d = 1 / 20.0;
    player.render(canvas.canvas(), view, background);
    return canvas;
}

inline Matrix translate(double x, double y) {
    Matrix m;
    m.tx = x;
    m.ty = y;
    return m;
}

// One colour channel, for comparisons of anti-aliased edges.
inline int channel(uint32_t rgb, int shift) { return static_cast<int>((rgb >> shift) & 0xFF); }

} // namespace tarpon::swf::test
