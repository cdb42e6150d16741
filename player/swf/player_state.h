// The running movie: instances on the display lists, the timelines of the root and of sprite
// instances, the queue of actions waiting to run, and the pointer state of the buttons.
#pragma once

#include "player/swf/action_value.h"
#include "player/swf/movie_data.h"
#include "player/swf/movie_player.h"

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tarpon::swf {

// Variable and instance names compare without case up to version 6, with case from version 7.
struct NameLess {
    bool case_sensitive = false;
    bool operator()(const std::string& l, const std::string& r) const;
};
bool same_name(std::string_view l, std::string_view r, bool case_sensitive);

struct Instance;
using DisplayList = std::map<int, std::unique_ptr<Instance>>;

struct Timeline {
    const TimelineDef* def = nullptr;
    int current = 0;
    bool playing = true;
    DisplayList display;
    std::map<std::string, ActionValue, NameLess> variables;
    Instance* owner = nullptr;

    int frames() const { return static_cast<int>(def->frames.size()); }
};

struct Instance {
    const Character* character = nullptr;
    uint16_t id = 0;
    int depth = 0;
    Matrix matrix;
    ColorTransform color;
    std::string name;
    uint16_t ratio = 0;
    uint16_t clip_depth = 0;
    bool visible = true;
    bool scripted = false;  // a script set its position or shape; the timeline no longer moves it
    Instance* parent = nullptr;
    int nesting = 0;        // instances between this and the root
    uint64_t serial = 0;    // names the instance across events without holding a pointer
    uint8_t button_state = ButtonRecord::Up;
    std::shared_ptr<Timeline> timeline; // sprites and the root
    size_t* live_count = nullptr;

    ~Instance() {
        if (live_count)
            --*live_count;
        // A script may still hold the timeline: it is left without an owner and without children.
        if (timeline) {
            timeline->owner = nullptr;
            timeline->display.clear();
        }
    }
};

struct QueuedActions {
    std::weak_ptr<Timeline> target;
    const ActionBlock* code = nullptr;
};

// Bounds for what a movie and its scripts may make the player do.
inline constexpr int max_nesting = 16;
inline constexpr size_t max_instances = 20000;
inline constexpr size_t max_blocks_per_run = 256;
// Work a block may do: one unit an instruction, and one more for every 256 bytes of a string it
// pushes, so that copying long strings counts as the work it is.
inline constexpr size_t action_budget = 200000;
// Work of all the blocks one run of the queue may do.
inline constexpr size_t run_budget = 1000000;
inline constexpr size_t max_stack = 4096;

struct MoviePlayer::State {
    size_t live_instances = 0; // first: outlives every instance below
    MoviePlayer::Events events;
    MovieData movie;
    bool loaded = false;
    std::string error;
    bool loop = true;
    std::string url;
    uint64_t next_serial = 1;
    std::unique_ptr<Instance> root;
    std::deque<QueuedActions> queue;
    ActionValue registers[4];
    uint32_t random_state = 0x2545F491u;
    std::chrono::steady_clock::time_point load_time = std::chrono::steady_clock::now();

    // Pointer state.
    double pointer_x = -1e9, pointer_y = -1e9;
    Matrix view;
    uint64_t hover = 0;
    uint64_t pressed = 0;

    bool case_sensitive() const { return movie.version >= 7; }

    // Timeline control (timeline.cpp).
    std::unique_ptr<Instance> create_instance(uint16_t id, Instance* parent);
    void enter_frame(Timeline& timeline, int frame);
    void goto_frame(Timeline& timeline, int frame);
    void advance_all();
    void queue_frame_actions(Timeline& timeline);
    // Runs the frame's actions on the timeline now (timeline.cpp); false for a frame it lacks.
    bool call_frame(const std::shared_ptr<Timeline>& timeline, int frame);

    // Paths and properties (targets.cpp).
    Instance* resolve_target(Instance* from, std::string_view path) const;
    Instance* find_serial(Instance* from, uint64_t serial) const;
    std::string target_path(const Instance* instance) const;
    std::optional<std::string> property(Instance& instance, int index) const;
    bool set_property(Instance& instance, int index, const ActionValue& value);
    // Splits "path:name", "/path:name" and "path.name" into the instance and the variable name.
    Instance* variable_owner(Instance* from, std::string_view path, std::string& name) const;
    ActionValue get_variable(Instance* from, std::string_view path) const;
    void set_variable(Instance* from, std::string_view path, const ActionValue& value);

    // Actions (action_interpreter.cpp).
    // Returns the work done (see action_budget).
    size_t run_block(const std::shared_ptr<Timeline>& timeline, const ActionBlock& code);
    void run_queue();

    // Drawing and hit tests (renderer.cpp).
    void render(const Canvas& canvas, const Matrix& view, uint32_t background) const;
    // The topmost button instance under the canvas point, or null.
    Instance* button_at(double x, double y, const Matrix& view) const;
    // Bounds of an instance in its parent's twips; false when it draws nothing.
    bool bounds(const Instance& instance, Rect& out) const;
};

} // namespace tarpon::swf
