// Stand-ins for the FSCommand bridge and the application functions, built only while their own
// library is not part of the build, so that the application links and runs. Just enough for
// start-up: "Quill_Run" of carried scripts on one engine, "Quill_Quit", "quit" and "fullscreen".
#include <cctype>
#include <string>

#include "engine/quill.h"
#include "host/host_classes.h"
#include "host/ui/message_loop.h"
#include "projector/appdata/item_source.h"
#include "projector/bridge/application_functions.h"
#include "projector/bridge/bridge.h"
#include "projector/bridge/script_cache.h"

namespace tarpon::projector {

namespace {

bool same_text(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

void register_application_functions(quill::ScriptEngine* engine) {
    host::register_message_loop_functions(engine);
}

void register_create_control(quill::ScriptEngine*) {}

void destroy_script_controls() {}

std::span<const quill::ClassRegistration> projector_classes() {
    return host::host_classes();
}

Bridge::Bridge(ProjectorState& state, BridgeActions& actions)
    : m_state(state), m_actions(actions), m_cache(std::make_unique<ScriptCache>()) {}

Bridge::~Bridge() {
    quill::destroy_engine(m_engine);
}

quill::EngineHandle* Bridge::engine() {
    if (m_engine == nullptr) {
        quill::EngineConfig config;
        std::span<const quill::ClassRegistration> classes = projector_classes();
        config.host_classes = classes.data();
        config.host_class_count = classes.size();
        m_engine = quill::create_engine(&config);
        if (m_engine != nullptr) {
            quill::run_native(m_engine, [](quill::ScriptEngine* engine) { register_application_functions(engine); });
        }
    }
    return m_engine;
}

bool Bridge::has_engine() const {
    return m_engine != nullptr;
}

void Bridge::quit_engine() {
    if (m_nesting > 1) {
        m_quit_deferred = true;
        return;
    }
    quill::destroy_engine(m_engine);
    m_engine = nullptr;
}

int Bridge::nesting() const {
    return m_nesting;
}

bool Bridge::run_script(std::string_view name) {
    if (m_state.items == nullptr) {
        return false;
    }
    appdata::LoadedItem item = appdata::load_item(*m_state.items, appdata::item::script_type, name);
    if (!item.ok()) {
        return false;
    }
    quill::EngineHandle* handle = engine();
    return handle != nullptr && quill::run_compiled_bytes(handle, item.bytes.data(), item.bytes.size());
}

bool Bridge::run_initialize() {
    command("Quill_Run", "Initialize", MovieOrigin::Author);
    if (m_engine == nullptr) {
        return true;
    }
    const quill::Value& result = quill::last_result(m_engine);
    return !(result.tag == quill::Tag::Boolean && result.payload.flag == 0);
}

void Bridge::command(std::string_view command, std::string_view argument, MovieOrigin) {
    ++m_nesting;
    if (same_text(command, "Quill_Run")) {
        run_script(argument);
    } else if (same_text(command, "Quill_Quit")) {
        quit_engine();
    } else if (same_text(command, "quit")) {
        m_actions.close_main_window();
    } else if (same_text(command, "fullscreen")) {
        if (same_text(argument, "true")) {
            m_actions.set_full_screen(true);
        } else if (same_text(argument, "false")) {
            m_actions.set_full_screen(false);
        }
    }
    --m_nesting;
    if (m_nesting == 0 && m_quit_deferred) {
        m_quit_deferred = false;
        quit_engine();
    }
}

}  // namespace tarpon::projector
