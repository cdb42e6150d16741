// The transparent-shape scan of a full-HD client area: a movie frame with a rounded shape (an
// ellipse with a rectangular tab) on its key colour, and the same shape drawn twice for the
// double-drawing mode. The figure must stay well below a frame (16 ms at 60 frames a second).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "projector/window/shape_scan.h"

namespace {

using tarpon::projector::shape::Area;
using tarpon::projector::shape::Picture;

constexpr int width = 1920, height = 1080;
constexpr uint32_t key = 0x00FF00FF;

bool inside(int x, int y) {
    const double dx = (x - width / 2.0) / (width * 0.45), dy = (y - height / 2.0) / (height * 0.45);
    const bool tab = x > width * 0.8 && x < width * 0.95 && y > height * 0.1 && y < height * 0.3;
    return dx * dx + dy * dy <= 1.0 || tab;
}

// The shape filled with a gradient (so no two neighbouring rows are trivially one colour) over the
// background colour `outside`.
std::vector<uint32_t> frame(uint32_t outside) {
    std::vector<uint32_t> pixels(size_t(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels[size_t(y) * width + size_t(x)] =
                inside(x, y) ? 0xFF000000u | uint32_t((x * 255 / width) << 16 | (y * 255 / height) << 8 | 0x40)
                             : outside;
        }
    }
    return pixels;
}

void KeyedFullHd(benchmark::State& state) {
    const std::vector<uint32_t> pixels = frame(key);
    const Picture picture{pixels.data(), width, height, width};
    size_t rects = 0;
    for (auto _ : state) {
        auto result = tarpon::projector::shape::keyed_rectangles(picture, key, Area{0, 0, width, height});
        rects = result.size();
        benchmark::DoNotOptimize(result.data());
    }
    state.counters["rectangles"] = double(rects);
}
BENCHMARK(KeyedFullHd)->Unit(benchmark::kMillisecond);

void DoubleDrawnFullHd(benchmark::State& state) {
    const std::vector<uint32_t> on_white = frame(0xFFFFFFFF), on_black = frame(0xFF000000);
    const Picture white{on_white.data(), width, height, width}, black{on_black.data(), width, height, width};
    size_t rects = 0;
    for (auto _ : state) {
        auto result = tarpon::projector::shape::double_drawn_rectangles(white, black, Area{0, 0, width, height});
        rects = result.size();
        benchmark::DoNotOptimize(result.data());
    }
    state.counters["rectangles"] = double(rects);
}
BENCHMARK(DoubleDrawnFullHd)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
