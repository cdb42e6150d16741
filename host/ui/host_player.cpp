#include "host/ui/host_player.h"

#include "engine/values/value.h"
#include "host/system/dispatch_call.h"

namespace tarpon::host {

namespace {

HostPlayerSource player_source;

}  // namespace

void set_host_player_source(const HostPlayerSource& source) {
    player_source = source;
}

IDispatch* host_player_control() {
    return player_source.control != nullptr ? player_source.control() : nullptr;
}

HWND host_player_window() {
    return player_source.window != nullptr ? player_source.window() : nullptr;
}

bool player_invoke(quill::ScriptEngine* engine, DISPID id, WORD flags, const quill::Value* args, uint32_t count,
                   quill::Value* result, const char* name) {
    IDispatch* control = host_player_control();
    if (control == nullptr) {
        *result = quill::Value::undefined();
        return false;
    }
    // The control may be let go of by what the call does (a movie's command closing the window).
    control->AddRef();
    platform::ComPtr<IDispatch> held(control);
    return dispatch_invoke(engine, control, id, flags, args, count, result, name);
}

}  // namespace tarpon::host
