// The stand-in player's core: reads a SWF movie, keeps its timelines and display lists, runs its frame
// and button actions and draws the current frame into a 32-bit pixel buffer. Portable C++: the COM
// control wraps it with a window, a frame timer and the container's events.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarpon::swf {

// A 32-bit top-down pixel buffer, one uint32_t per pixel as 0xAARRGGBB (the layout of a Windows
// 32-bit DIB section); the player writes opaque pixels (A = 0xFF) over the whole canvas.
struct Canvas {
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0; // in pixels
};

// An affine transform: x' = a x + c y + tx, y' = b x + d y + ty.
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};

// A rectangle in twips (1/20 pixel).
struct Rect {
    int32_t x_min = 0, x_max = 0, y_min = 0, y_max = 0;
};

enum class ScaleMode { ShowAll = 0, NoBorder = 1, ExactFit = 2, NoScale = 3 };
enum AlignFlags : int { AlignLeft = 1, AlignRight = 2, AlignTop = 4, AlignBottom = 8 };

// Twips of the movie to canvas pixels for a window of the size, the scale mode and alignment, then
// the zoom rectangle (in movie twips; null or empty = the whole movie). Without an alignment flag
// on an axis the movie is centred on it.
Matrix view_matrix(const Rect& movie_twips, int width, int height, ScaleMode mode, int align,
                   const Rect* zoom);

// The product "first, then second".
Matrix multiply(const Matrix& first, const Matrix& second);
// The inverse; the identity when the matrix cannot be inverted.
Matrix invert(const Matrix& m);

class MoviePlayer {
public:
    struct Events {
        // getURL("FSCommand:cmd", args): the command without the prefix, and the target.
        std::function<void(const std::string& command, const std::string& argument)> fscommand;
        // Any other getURL: the control opens it through the shell.
        std::function<void(const std::string& url, const std::string& target)> open_url;
    };

    explicit MoviePlayer(Events events);
    ~MoviePlayer();
    MoviePlayer(const MoviePlayer&) = delete;
    MoviePlayer& operator=(const MoviePlayer&) = delete;

    // Reads a whole movie file (FWS or CWS, versions 1-8). False with error() set when the header is
    // refused (ZWS, bad signature, truncated header); a movie whose tags break off loads the frames
    // read so far. Frame 0 is shown; its actions are queued, not run (see run_actions).
    bool load(std::span<const uint8_t> file);
    void unload();
    bool loaded() const;
    const std::string& error() const;
    int version() const;
    Rect frame_rect() const;    // twips
    double frame_rate() const;  // frames per second
    int frame_count() const;    // TotalFrames
    int frames_loaded() const;
    uint32_t background() const; // 0xRRGGBB from SetBackgroundColor (white when none)
    bool has_background() const; // whether the movie sets its background colour

    // Root timeline.
    int current_frame() const; // 0-based
    bool playing() const;
    void set_playing(bool playing);
    bool loop() const;
    void set_loop(bool loop);
    void goto_frame(int frame); // 0-based; stops nothing, queues the frame's actions
    bool goto_label(std::string_view label);
    void next_frame();
    void previous_frame();
    void rewind();

    // One tick of the frame timer: advance every playing timeline, then run queued actions.
    void tick();
    // Runs queued frame and button actions (the control calls this after put_Movie returns and
    // after each event it forwards). Each action block has an instruction budget.
    void run_actions();

    // Draws the current frame; background_override 0xRRGGBB, or -1 for the movie's own colour.
    void render(const Canvas& canvas, const Matrix& view, int32_t background_override) const;

    // Pointer input in canvas pixels under `view`. pointer_move returns true when over a button
    // (hand cursor). Button actions are queued and run by run_actions.
    bool pointer_move(double x, double y, const Matrix& view);
    void pointer_down();
    void pointer_up();

    // Variables of the root timeline (and "path:name" / "/path:name" forms).
    void set_variable(std::string_view name, std::string_view value);
    std::string get_variable(std::string_view name) const;

    // Timelines by target path ("/" or "" = root, "/name" or "_root.name" for sprite instances).
    bool target_goto_frame(std::string_view target, int frame);
    bool target_goto_label(std::string_view target, std::string_view label);
    int target_current_frame(std::string_view target) const; // -1 when no such target
    std::string target_current_label(std::string_view target) const;
    bool target_play(std::string_view target);
    bool target_stop(std::string_view target);
    // Runs the actions of the target's frame (0-based) or labelled frame at once, where the
    // timeline is: the frame is not shown. False when there is no such target or frame.
    bool target_call_frame(std::string_view target, int frame);
    bool target_call_label(std::string_view target, std::string_view label);

    // Where the movie came from, as its _url property reports it.
    void set_url(std::string url);

    // Property numbers as ActionScript's GetProperty: 0 _x, 1 _y, 2 _xscale, 3 _yscale,
    // 4 _currentframe, 5 _totalframes, 6 _alpha, 7 _visible, 8 _width, 9 _height, 10 _rotation,
    // 11 _target, 12 _framesloaded, 13 _name, 14 _droptarget, 15 _url. Empty when there is no such
    // target or property. A value that is a number's text is set as that number.
    bool set_property(std::string_view target, int property, std::string_view value);
    std::optional<std::string> get_property(std::string_view target, int property) const;

    struct State;

private:
    std::unique_ptr<State> m_state;
};

} // namespace tarpon::swf
