// createControl: an ActiveX control placed over the movie, as a child of the player control's
// window, held by a site of its own until the main window goes.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/values/atoms.h"
#include "engine/values/property_table.h"
#include "host/common/class.h"
#include "host/system/activex_object.h"
#include "host/ui/window.h"
#include "projector/app/projector_state.h"
#include "projector/bridge/application_functions.h"
#include "projector/player_host/control_site.h"
#include "projector/player_host/player_host.h"

namespace tarpon::projector {

namespace {

using namespace quill;

constexpr int script_control_id = 0xFFFF;

// The sites of the controls scripts made, in the order they were made.
std::vector<std::unique_ptr<ControlSite>>& script_controls() {
    static std::vector<std::unique_ptr<ControlSite>> controls;
    return controls;
}

// A ProgID, else a class id in registry form.
bool class_id_of(const std::wstring& name, CLSID& clsid) {
    return SUCCEEDED(CLSIDFromProgID(name.c_str(), &clsid)) ||
           SUCCEEDED(CLSIDFromString(const_cast<LPOLESTR>(name.c_str()), &clsid));
}

void create_control_call(host::MemberCall& call) {
    *call.result = Value::null();
    std::optional<std::wstring> name = host::wide_argument(call.args, 0);
    if (!name) {
        return;
    }
    const int defaults[4] = {0, 0, 50, 50};
    int edges[4];
    for (uint32_t i = 0; i < 4; ++i) {
        std::optional<int64_t> value = call.args.integer(i + 1);
        edges[i] = value ? static_cast<int>(*value) : defaults[i];
    }
    PlayerHost* player = projector_state().player;
    HWND parent = player != nullptr ? player->window() : nullptr;
    CLSID clsid;
    if (parent == nullptr || !class_id_of(*name, clsid)) {
        return;
    }
    ComPtr<IUnknown> object;
    if (FAILED(create_control_object(clsid, nullptr, {}, object))) {
        return;
    }
    auto site = std::make_unique<ControlSite>();
    RECT rectangle{edges[0], edges[1], edges[2], edges[3]};
    if (FAILED(site->create(object.get(), parent, script_control_id, rectangle))) {
        return;  // the site has undone what it did
    }
    object.reset();
    ComPtr<IDispatch> dispatch = site->query<IDispatch>(IID_IDispatch);
    if (!dispatch) {
        site->destroy();
        return;
    }
    PropertyTable* result = new_table(call.engine);
    *call.result = Value::object(result);
    table_put(call.engine, result, intern(call.engine, "window"), host::make_window_object(call.engine, site->window()));
    table_put(call.engine, result, intern(call.engine, "activex"), host::make_activex_object(call.engine, dispatch.get()));
    script_controls().push_back(std::move(site));
}

const host::ClassDeclaration create_control_function = {
    .name = nullptr,
    .call = create_control_call,
};

}  // namespace

void register_create_control(quill::ScriptEngine* engine) {
    quill::HostClass* cls = declared_class(engine, create_control_function);
    if (cls == nullptr) {
        cls = declare_class(engine, create_control_function);
    }
    set_global(engine, "createControl", make_host_object(engine, cls, nullptr));
}

void destroy_script_controls() {
    std::vector<std::unique_ptr<ControlSite>> controls = std::move(script_controls());
    script_controls().clear();
    for (std::unique_ptr<ControlSite>& site : controls) {
        site->destroy();
    }
}

}  // namespace tarpon::projector
