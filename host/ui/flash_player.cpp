// The FlashPlayer class: the host's player control, for scripts. The class object is the player
// (`new FlashPlayer()` gives an object for the same control); its properties and methods go to the
// control by dispatch id. Without a control every member gives Undefined and writes do nothing.
//
// The two handlers it keeps live with the class: onFSCommand in its state, onContextMenu in the
// right-button slot of the control window's Window wrapper, whose object the state holds so that
// the wrapper (and with it the handler) stays while the engine lives.
#include <array>
#include <cstring>

#include "engine/values/collector.h"
#include "engine/values/conversions.h"
#include "engine/values/protected_run.h"
#include "engine/values/stack_roots.h"
#include "engine/vm/services.h"
#include "host/common/class.h"
#include "host/ui/host_player.h"
#include "host/ui/movie_objects.h"
#include "host/ui/ui_classes.h"
#include "host/ui/window.h"
#include "player/control/shockwave_flash.h"

namespace tarpon::host {

namespace {

struct PlayerState {
    Value window;         // the Window object of the control's window, once asked for
    Value on_fs_command;  // the function commands the host does not handle go to
};

void mark_player_state(ScriptEngine* engine, void* state) {
    const auto* player = static_cast<const PlayerState*>(state);
    mark_value(engine, player->window);
    mark_value(engine, player->on_fs_command);
}

// How a written value goes to the control.
enum class Kind { Text, Flag, Number };

struct PlayerProperty {
    DISPID id;
    Kind kind;
    bool writable;
};

constexpr PlayerProperty movie_property{player::dispid_movie, Kind::Text, true};
constexpr PlayerProperty playing_property{player::dispid_playing, Kind::Flag, true};
constexpr PlayerProperty loop_property{player::dispid_loop, Kind::Flag, true};
constexpr PlayerProperty quality_property{player::dispid_quality2, Kind::Text, true};
constexpr PlayerProperty scale_mode_property{player::dispid_scale_mode, Kind::Number, true};
constexpr PlayerProperty align_mode_property{player::dispid_align_mode, Kind::Number, true};
constexpr PlayerProperty background_property{player::dispid_background_color, Kind::Number, true};
constexpr PlayerProperty frame_num_property{player::dispid_frame_num, Kind::Number, true};
constexpr PlayerProperty total_frames_property{player::dispid_total_frames, Kind::Number, false};
constexpr PlayerProperty ready_state_property{player::dispid_ready_state, Kind::Number, false};
constexpr PlayerProperty percent_loaded_property{player::dispid_percent_loaded, Kind::Number, false};
constexpr PlayerProperty flash_version_property{player::dispid_flash_version, Kind::Number, false};

// Some of these are methods of the control (PercentLoaded, FlashVersion); a read asks either way.
void player_property(MemberCall& call) {
    player_invoke(call.engine, call.context<PlayerProperty>().id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, nullptr, 0,
                  call.result, call.member->name);
}

void set_player_property(MemberCall& call, const Value& value) {
    const PlayerProperty& property = call.context<PlayerProperty>();
    if (!property.writable || host_player_control() == nullptr) {
        return;
    }
    Value put;
    switch (property.kind) {
    case Kind::Text:
        put = to_string(call.engine, value);
        break;
    case Kind::Flag:
        put = Value::boolean(to_boolean(value));
        break;
    case Kind::Number:
        put = to_number(call.engine, value);
        break;
    }
    StackRoots roots(call.engine, {put});
    Value ignored;
    player_invoke(call.engine, property.id, DISPATCH_PROPERTYPUT, roots.cells(), 1, &ignored, call.member->name);
}

// A method of the control and how many arguments it takes; missing ones go as "not given" and the
// control refuses the call.
struct PlayerMethod {
    DISPID id;
    uint32_t arity;
};

constexpr PlayerMethod play_method{player::dispid_play, 0};
constexpr PlayerMethod stop_method{player::dispid_stop, 0};
constexpr PlayerMethod rewind_method{player::dispid_rewind, 0};
constexpr PlayerMethod forward_method{player::dispid_forward, 0};
constexpr PlayerMethod back_method{player::dispid_back, 0};
constexpr PlayerMethod goto_frame_method{player::dispid_goto_frame, 1};
constexpr PlayerMethod load_movie_method{player::dispid_load_movie, 2};
constexpr PlayerMethod get_variable_method{player::dispid_get_variable, 1};
constexpr PlayerMethod zoom_method{player::dispid_zoom, 1};
constexpr PlayerMethod pan_method{player::dispid_pan, 3};
constexpr PlayerMethod set_zoom_rect_method{player::dispid_set_zoom_rect, 4};

constexpr uint32_t max_arity = 4;

void player_method(MemberCall& call) {
    const PlayerMethod& method = call.context<PlayerMethod>();
    std::array<Value, max_arity> args{};
    for (uint32_t i = 0; i < method.arity; ++i) {
        args[i] = call.args[i];
    }
    player_invoke(call.engine, method.id, DISPATCH_METHOD, args.data(), method.arity, call.result, call.member->name);
}

// setVariable(name, value): the movie's variables are texts, so both go as the script's ToString of
// them (true is "true" there, not the system's word for it).
void player_set_variable(MemberCall& call) {
    if (host_player_control() == nullptr) {
        return;
    }
    StackRoots roots(call.engine, {call.args[0], call.args[1]});
    roots.cells()[0] = to_string(call.engine, roots.cells()[0]);
    roots.cells()[1] = to_string(call.engine, roots.cells()[1]);
    Value ignored;
    player_invoke(call.engine, player::dispid_set_variable, DISPATCH_METHOD, roots.cells(), 2, &ignored,
                  "setVariable");
}

// The Window object of the control's window, kept in the state while the window is the same.
Value player_window(MemberCall& call) {
    HWND window = host_player_window();
    if (window == nullptr || host_player_control() == nullptr) {
        return Value::undefined();
    }
    auto& state = call.state<PlayerState>();
    if (window_object_handle(state.window) != window) {
        state.window = make_window_object(call.engine, window);
    }
    return state.window;
}

void player_window_property(MemberCall& call) { *call.result = player_window(call); }

// Handlers read as Undefined, as the Window object's do; a Function is stored, anything else
// leaves the handler as it was.
void set_on_context_menu(MemberCall& call, const Value& value) {
    if (value.tag != Tag::Function) {
        return;
    }
    const Value window = player_window(call);
    set_window_right_button_handler(window, value);
}

// Kept whether or not there is a control now: only a host with one ever forwards commands.
void set_on_fs_command(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Function) {
        call.state<PlayerState>().on_fs_command = value;
    }
}

void player_get_movie_clip(MemberCall& call) {
    if (host_player_control() != nullptr) {
        *call.result = make_movie_clip(call.engine, call.args[0]);
    }
}

// new FlashPlayer() and FlashPlayer(): an object for the same control.
void player_construct(MemberCall& call) { *call.result = make_host_object(call.engine, call.cls, nullptr); }

const Member player_members[] = {
    property("movie", player_property, set_player_property, Needs::Nothing, &movie_property),
    property("playing", player_property, set_player_property, Needs::Nothing, &playing_property),
    property("loop", player_property, set_player_property, Needs::Nothing, &loop_property),
    property("quality", player_property, set_player_property, Needs::Nothing, &quality_property),
    property("scaleMode", player_property, set_player_property, Needs::Nothing, &scale_mode_property),
    property("alignMode", player_property, set_player_property, Needs::Nothing, &align_mode_property),
    property("backgroundColor", player_property, set_player_property, Needs::Nothing, &background_property),
    property("frameNum", player_property, set_player_property, Needs::Nothing, &frame_num_property),
    property("totalFrames", player_property, set_player_property, Needs::Nothing, &total_frames_property),
    property("readyState", player_property, set_player_property, Needs::Nothing, &ready_state_property),
    property("percentLoaded", player_property, set_player_property, Needs::Nothing, &percent_loaded_property),
    property("flashVersion", player_property, set_player_property, Needs::Nothing, &flash_version_property),
    property("window", player_window_property),
    property("onContextMenu", nullptr, set_on_context_menu),
    property("onFSCommand", nullptr, set_on_fs_command),
    method("play", player_method, Needs::Nothing, &play_method),
    method("stop", player_method, Needs::Nothing, &stop_method),
    method("rewind", player_method, Needs::Nothing, &rewind_method),
    method("forward", player_method, Needs::Nothing, &forward_method),
    method("back", player_method, Needs::Nothing, &back_method),
    method("gotoFrame", player_method, Needs::Nothing, &goto_frame_method),
    method("loadMovie", player_method, Needs::Nothing, &load_movie_method),
    method("setVariable", player_set_variable),
    method("getVariable", player_method, Needs::Nothing, &get_variable_method),
    method("zoom", player_method, Needs::Nothing, &zoom_method),
    method("pan", player_method, Needs::Nothing, &pan_method),
    method("setZoomRect", player_method, Needs::Nothing, &set_zoom_rect_method),
    method("getMovieClip", player_get_movie_clip),
};

const ClassDeclaration player_class = {
    .name = "FlashPlayer",
    .class_text = "[object FlashPlayer]",
    .members = player_members,
    .construct = player_construct,
    .call = player_construct,
    .make_state = new_state<PlayerState>,
    .free_state = delete_state<PlayerState>,
    .mark_state = mark_player_state,
};

}  // namespace

void forward_fs_command(ScriptEngine* engine, std::string_view command, std::string_view argument) {
    HostClass* cls = declared_class(engine, player_class);
    if (cls == nullptr) {
        return;
    }
    const Value handler = static_cast<PlayerState*>(class_state(cls))->on_fs_command;
    if (handler.tag != Tag::Function) {
        return;
    }
    const Value saved_result = engine->result;
    std::array<char, sizeof engine->message> saved_message;
    std::memcpy(saved_message.data(), engine->message, saved_message.size());
    run_protected(engine, [&] {
        // The handler, the outer result and the argument block stay marked while the script runs.
        StackRoots roots(engine, {handler, saved_result, Value::integer(2), Value(), Value()});
        roots.cells()[3] = ansi_string(engine, command);
        roots.cells()[4] = ansi_string(engine, argument);
        vm::call_function_value(engine, Value::null(), roots.cells()[0], 3, roots.cells() + 2);
    });
    engine->result = saved_result;
    std::memcpy(engine->message, saved_message.data(), saved_message.size());
}

void register_flash_player_class(ScriptEngine* engine) { declare_class(engine, player_class); }

}  // namespace tarpon::host
