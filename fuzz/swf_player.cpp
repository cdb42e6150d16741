// The stand-in player's core on arbitrary movie files: load, a few frame ticks with their actions,
// pointer input over the movie and drawing into a small canvas. Anything but a crash, a hang or a
// sanitizer report is fine; a movie may be refused or play nothing.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "player/swf/movie_player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarpon::swf;
    int events = 0;
    MoviePlayer player({[&events](const std::string&, const std::string&) { ++events; },
                        [&events](const std::string&, const std::string&) { ++events; }});
    if (!player.load({data, size}))
        return 0;
    std::vector<uint32_t> pixels(48 * 32);
    Canvas canvas{pixels.data(), 48, 32, 48};
    Matrix view = view_matrix(player.frame_rect(), canvas.width, canvas.height, ScaleMode::ShowAll, 0, nullptr);
    player.run_actions();
    player.render(canvas, view, -1);
    for (int i = 0; i < 4; ++i) {
        player.tick();
        player.pointer_move(6.0 * i + 10, 4.0 * i + 8, view);
        player.pointer_down();
        player.pointer_up();
        player.run_actions();
    }
    player.goto_frame(0);
    player.run_actions();
    player.render(canvas, view, 0x000000);
    player.get_variable("/:x");
    player.get_property("/", 8);
    return 0;
}
