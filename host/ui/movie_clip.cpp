// The MovieClip class: one timeline of the movie in the host's player control, named by its target
// path. Every member is a call of the control's target methods with the path first; the clip
// properties go by their property numbers, the numeric ones through the number forms of the calls.
// Nothing is kept of the timeline itself: a clip whose target is gone answers Undefined (with the
// control's error text) until a movie gives it one again.
#include <array>
#include <memory>
#include <string>

#include "engine/values/conversions.h"
#include "engine/values/stack_roots.h"
#include "host/common/class.h"
#include "host/ui/host_player.h"
#include "host/ui/movie_objects.h"
#include "host/ui/ui_classes.h"
#include "player/control/shockwave_flash.h"

namespace tarpon::host {

namespace {

struct ClipRecord {
    std::wstring target;
};

// Calls the control's member for the clip: its target, then up to two more arguments. The extra
// arguments must be converted before: making the target's String is the last thing that allocates.
void clip_invoke(MemberCall& call, DISPID id, WORD flags, std::initializer_list<Value> extra, Value* result) {
    std::array<Value, 3> args{};
    size_t count = 1;
    for (const Value& value : extra) {
        args[count++] = value;
    }
    StackRoots roots(call.engine, args.data(), count);
    roots.cells()[0] = wide_string(call.engine, call.data<ClipRecord>().target);
    player_invoke(call.engine, id, flags, roots.cells(), static_cast<uint32_t>(count), result, call.member->name);
}

// ---- Timeline methods

// A method with the target only, or with the target and the script's first argument.
struct ClipMethod {
    DISPID id;
    bool takes_argument;
};

constexpr ClipMethod play_method{player::dispid_t_play, false};
constexpr ClipMethod stop_method{player::dispid_t_stop_play, false};
constexpr ClipMethod goto_frame_method{player::dispid_t_goto_frame, true};
constexpr ClipMethod goto_label_method{player::dispid_t_goto_label, true};
constexpr ClipMethod call_frame_method{player::dispid_t_call_frame, true};
constexpr ClipMethod call_label_method{player::dispid_t_call_label, true};

void clip_method(MemberCall& call) {
    if (host_player_control() == nullptr) {
        return;
    }
    const ClipMethod& method = call.context<ClipMethod>();
    Value ignored;
    if (method.takes_argument) {
        clip_invoke(call, method.id, DISPATCH_METHOD, {call.args[0]}, &ignored);
    } else {
        clip_invoke(call, method.id, DISPATCH_METHOD, {}, &ignored);
    }
}

// currentFrame and currentLabel.
constexpr DISPID current_frame_id = player::dispid_t_current_frame;
constexpr DISPID current_label_id = player::dispid_t_current_label;

void clip_current(MemberCall& call) {
    if (host_player_control() != nullptr) {
        clip_invoke(call, call.context<DISPID>(), DISPATCH_METHOD, {}, call.result);
    }
}

// ---- Clip properties by number

enum class Kind { Number, Flag, Text };

struct ClipProperty {
    int number;
    Kind kind;
    bool writable;
};

constexpr ClipProperty x_property{0, Kind::Number, true};
constexpr ClipProperty y_property{1, Kind::Number, true};
constexpr ClipProperty xscale_property{2, Kind::Number, true};
constexpr ClipProperty yscale_property{3, Kind::Number, true};
constexpr ClipProperty total_frames_property{5, Kind::Number, false};
constexpr ClipProperty alpha_property{6, Kind::Number, true};
constexpr ClipProperty visible_property{7, Kind::Flag, true};
constexpr ClipProperty width_property{8, Kind::Number, true};
constexpr ClipProperty height_property{9, Kind::Number, true};
constexpr ClipProperty rotation_property{10, Kind::Number, true};
constexpr ClipProperty target_property{11, Kind::Text, false};
constexpr ClipProperty frames_loaded_property{12, Kind::Number, false};
constexpr ClipProperty name_property{13, Kind::Text, true};
constexpr ClipProperty drop_target_property{14, Kind::Text, false};
constexpr ClipProperty url_property{15, Kind::Text, false};

void clip_property(MemberCall& call) {
    if (host_player_control() == nullptr) {
        return;
    }
    const ClipProperty& property = call.context<ClipProperty>();
    const Value number = Value::integer(property.number);
    if (property.kind == Kind::Text) {
        clip_invoke(call, player::dispid_t_get_property, DISPATCH_METHOD, {number}, call.result);
        return;
    }
    clip_invoke(call, player::dispid_t_get_property_num, DISPATCH_METHOD, {number}, call.result);
    if (property.kind == Kind::Flag && call.result->tag != Tag::Undefined) {
        *call.result = Value::boolean(to_boolean(*call.result));
    }
}

void set_clip_property(MemberCall& call, const Value& value) {
    const ClipProperty& property = call.context<ClipProperty>();
    if (!property.writable || host_player_control() == nullptr) {
        return;
    }
    const Value number = Value::integer(property.number);
    Value ignored;
    if (property.kind == Kind::Text) {
        const Value text = to_string(call.engine, value);
        clip_invoke(call, player::dispid_t_set_property, DISPATCH_METHOD, {number, text}, &ignored);
        return;
    }
    const Value given = property.kind == Kind::Flag ? Value::integer(to_boolean(value) ? 1 : 0)
                                                    : to_number(call.engine, value);
    clip_invoke(call, player::dispid_t_set_property_num, DISPATCH_METHOD, {number, given}, &ignored);
}

// MovieClip(target) and new MovieClip(target).
void clip_construct(MemberCall& call) { *call.result = make_movie_clip(call.engine, call.args[0]); }

constexpr Needs instance = Needs::Instance;

const Member clip_members[] = {
    method("play", clip_method, instance, &play_method),
    method("stop", clip_method, instance, &stop_method),
    method("gotoFrame", clip_method, instance, &goto_frame_method),
    method("gotoLabel", clip_method, instance, &goto_label_method),
    method("callFrame", clip_method, instance, &call_frame_method),
    method("callLabel", clip_method, instance, &call_label_method),
    property("currentFrame", clip_current, nullptr, instance, &current_frame_id),
    property("currentLabel", clip_current, nullptr, instance, &current_label_id),
    property("x", clip_property, set_clip_property, instance, &x_property),
    property("y", clip_property, set_clip_property, instance, &y_property),
    property("xscale", clip_property, set_clip_property, instance, &xscale_property),
    property("yscale", clip_property, set_clip_property, instance, &yscale_property),
    property("alpha", clip_property, set_clip_property, instance, &alpha_property),
    property("visible", clip_property, set_clip_property, instance, &visible_property),
    property("rotation", clip_property, set_clip_property, instance, &rotation_property),
    property("width", clip_property, set_clip_property, instance, &width_property),
    property("height", clip_property, set_clip_property, instance, &height_property),
    property("totalFrames", clip_property, set_clip_property, instance, &total_frames_property),
    property("framesLoaded", clip_property, set_clip_property, instance, &frames_loaded_property),
    property("name", clip_property, set_clip_property, instance, &name_property),
    property("target", clip_property, set_clip_property, instance, &target_property),
    property("url", clip_property, set_clip_property, instance, &url_property),
    property("dropTarget", clip_property, set_clip_property, instance, &drop_target_property),
};

const ClassDeclaration clip_class = {
    .name = "MovieClip",
    .class_text = "[object MovieClip]",
    .members = clip_members,
    .construct = clip_construct,
    .call = clip_construct,
    .destroy = delete_instance<ClipRecord>,
};

}  // namespace

Value make_movie_clip(ScriptEngine* engine, const Value& target) {
    HostClass* cls = declared_class(engine, clip_class);
    if (cls == nullptr || target.tag != Tag::String) {
        return Value::null();
    }
    auto record = std::make_unique<ClipRecord>();
    record->target = wide_text(target.payload.string);
    return make_instance(engine, cls, std::move(record));
}

void register_movie_clip_class(ScriptEngine* engine) { declare_class(engine, clip_class); }

}  // namespace tarpon::host
