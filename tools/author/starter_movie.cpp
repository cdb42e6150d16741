#include "tools/author/starter_movie.h"

#include <fstream>
#include <vector>

#include "player/swf/movie_data.h"
#include "player/swf/swf_writer.h"

namespace tarpon::author {

namespace {

constexpr int twips = 20;  // per pixel

}  // namespace

// 640 x 480: a white panel on the project's blue, a round orange button whose release runs the
// project's script "Hello" through the projector's "Quill_Run" command, and a small dark square in
// the panel's top-right corner whose release sends "quit". The movie stops on its one frame.
bool write_starter_movie(const std::string& path) {
    swf::MovieWriter movie(640, 480, 12);
    movie.background(0x336699);

    swf::ShapeWriter panel;
    int white = panel.solid_fill(0xFFFFFFFF);
    int edge = panel.line_style(2 * twips, 0xFF1F3D5C);
    panel.rectangle(60 * twips, 60 * twips, 520 * twips, 360 * twips, white, edge);
    uint16_t panel_id = movie.define_shape(panel);

    swf::ShapeWriter up;
    up.circle(320 * twips, 300 * twips, 50 * twips, up.solid_fill(0xFFF08C1E));
    uint16_t up_id = movie.define_shape(up);
    swf::ShapeWriter over;
    over.circle(320 * twips, 300 * twips, 50 * twips, over.solid_fill(0xFFFFB04A));
    uint16_t over_id = movie.define_shape(over);

    swf::ButtonWriter button;
    button.record(swf::ButtonRecord::Up | swf::ButtonRecord::Hit, up_id, 1);
    button.record(swf::ButtonRecord::Over | swf::ButtonRecord::Down, over_id, 1);
    button.on(swf::ButtonAction::OverDownToOverUp, swf::ActionWriter().fscommand("Quill_Run", "Hello"));
    uint16_t button_id = movie.define_button(button);

    // The quit square: 30 x 30 at 540,70, dark with a lighter face when pointed at.
    swf::ShapeWriter quit_up;
    quit_up.rectangle(540 * twips, 70 * twips, 30 * twips, 30 * twips, quit_up.solid_fill(0xFF1F3D5C));
    uint16_t quit_up_id = movie.define_shape(quit_up);
    swf::ShapeWriter quit_over;
    quit_over.rectangle(540 * twips, 70 * twips, 30 * twips, 30 * twips, quit_over.solid_fill(0xFF3F6D9C));
    uint16_t quit_over_id = movie.define_shape(quit_over);
    swf::ButtonWriter quit;
    quit.record(swf::ButtonRecord::Up | swf::ButtonRecord::Hit, quit_up_id, 1);
    quit.record(swf::ButtonRecord::Over | swf::ButtonRecord::Down, quit_over_id, 1);
    quit.on(swf::ButtonAction::OverDownToOverUp, swf::ActionWriter().fscommand("quit", ""));
    uint16_t quit_id = movie.define_button(quit);

    movie.place(1, panel_id);
    movie.place(2, button_id);
    movie.place(3, quit_id);
    movie.actions(swf::ActionWriter().stop());
    movie.show_frame();

    std::vector<uint8_t> bytes = movie.finish(true);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace tarpon::author
