#include "projector/bridge/bridge.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/common/text.h"
#include "host/ui/host_player.h"
#include "host/ui/movie_objects.h"
#include "projector/app/projector_messages.h"
#include "projector/appdata/item_source.h"
#include "projector/bridge/application_functions.h"
#include "projector/bridge/script_cache.h"
#include "projector/player_host/player_host.h"

namespace tarpon::projector {

namespace {

// {==== Debug traces

#ifdef TARPON_DEBUG_TRACE
// Writes the formatted text to the debugger and, when TARPON_TRACE names a file, appends it there.
void trace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(length));
    }
    va_end(args);

    OutputDebugStringA(text.c_str());
    const char* file_name = std::getenv("TARPON_TRACE");
    if (file_name != nullptr && *file_name != '\0') {
        if (std::FILE* file = std::fopen(file_name, "ab")) {
            std::fwrite(text.data(), 1, text.size(), file);
            std::fclose(file);
        }
    }
}
#define BRIDGE_TRACE(...) trace(__VA_ARGS__)
#else
#define BRIDGE_TRACE(...) ((void)0)
#endif

// Texts from the movie may hold anything; a trace shows them up to the first NUL.
std::string printable(std::string_view text) {
    return std::string(text.substr(0, text.find('\0')));
}

// }====

// {==== The command table

struct CommandContext {
    Bridge& bridge;
    BridgeActions& actions;
    quill::EngineHandle* engine;  // made for script commands; null for the others
};

using CommandHandler = void (*)(CommandContext& context, const std::string& argument);

struct Command {
    const char* name;
    CommandHandler handler;
    bool script;       // makes the engine and is traced
    bool author_only;  // refused for a movie the user opened
};

void trace_failed_run([[maybe_unused]] quill::EngineHandle* engine) {
    BRIDGE_TRACE(text::trace_failed_run, quill::last_message(engine));
}

void run_command(CommandContext& context, const std::string& argument) {
    context.bridge.run_script(argument);
}

void eval_command(CommandContext& context, const std::string& argument) {
    if (!quill::run_source_text(context.engine, argument.c_str())) {
        trace_failed_run(context.engine);
    }
}

void file_command(CommandContext& context, const std::string& argument) {
    if (!quill::run_script_file(context.engine, argument.c_str())) {
        trace_failed_run(context.engine);
    }
}

void quit_engine_command(CommandContext& context, const std::string&) {
    context.bridge.quit_engine();
}

void quit_command(CommandContext& context, const std::string&) {
    context.actions.close_main_window();
}

void full_screen_command(CommandContext& context, const std::string& argument) {
    if (host::equal_ignoring_ascii_case(argument, "true")) {
        context.actions.set_full_screen(true);
    } else if (host::equal_ignoring_ascii_case(argument, "false")) {
        context.actions.set_full_screen(false);
    }
}

void exec_command(CommandContext&, const std::string& argument) {
    // CreateProcess may write into the command line it is given.
    std::string command_line = printable(argument);
    if (command_line.empty()) {
        return;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

const Command commands[] = {
    {"Quill_Run", run_command, true, false},
    {"Quill_Eval", eval_command, true, true},
    {"Quill_File", file_command, true, true},
    {"Quill_Quit", quit_engine_command, false, false},
    {"quit", quit_command, false, false},
    {"fullscreen", full_screen_command, false, false},
    {"exec", exec_command, false, true},
};

const Command* find_command(std::string_view name) {
    for (const Command& command : commands) {
        if (host::equal_ignoring_ascii_case(name, command.name)) {
            return &command;
        }
    }
    return nullptr;
}

// }====

// {==== The player control lent to the engine's movie objects

// The state of the bridge whose engine sees the player: the main window's player host, while it
// has a control.
const ProjectorState* lending_state = nullptr;

IDispatch* lent_control() {
    const PlayerHost* player = lending_state != nullptr ? lending_state->player : nullptr;
    return player != nullptr ? player->control() : nullptr;
}

HWND lent_window() {
    const PlayerHost* player = lending_state != nullptr ? lending_state->player : nullptr;
    return player != nullptr ? player->window() : nullptr;
}

// }====

}  // namespace

Bridge::Bridge(ProjectorState& state, BridgeActions& actions)
    : m_state(state), m_actions(actions), m_cache(std::make_unique<ScriptCache>()) {
    lending_state = &m_state;
    host::set_host_player_source({lent_control, lent_window});
}

Bridge::~Bridge() {
    quill::destroy_engine(m_engine);
    m_engine = nullptr;
    m_cache->clear();
    if (lending_state == &m_state) {
        lending_state = nullptr;
        host::set_host_player_source({});
    }
}

// The bookkeeping every command shares: the nesting count rises for its duration, and an engine
// whose end was asked for meanwhile is destroyed once no command runs any more.
class CommandScope {
public:
    CommandScope(int& nesting, bool& quit_deferred, quill::EngineHandle*& engine)
        : m_nesting(nesting), m_quit_deferred(quit_deferred), m_engine(engine) {
        ++m_nesting;
    }
    ~CommandScope() {
        if (--m_nesting == 0 && m_quit_deferred) {
            m_quit_deferred = false;
            quill::EngineHandle* engine = m_engine;
            m_engine = nullptr;
            quill::destroy_engine(engine);
        }
    }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    int& m_nesting;
    bool& m_quit_deferred;
    quill::EngineHandle*& m_engine;
};

void Bridge::command(std::string_view command, std::string_view argument, MovieOrigin origin) {
    if (command.data() == nullptr) {
        return;
    }
    CommandScope scope(m_nesting, m_quit_deferred, m_engine);
    const Command* entry = find_command(command);
    if (entry == nullptr) {
        // Scripts may take the movie's other commands (FlashPlayer.onFSCommand); only a script
        // that runs already can have asked for them.
        if (m_engine != nullptr) {
            host::forward_fs_command(m_engine->engine, command, argument);
        }
        return;
    }
    std::string text(argument);
    if (entry->author_only && origin == MovieOrigin::User) {
        BRIDGE_TRACE("FSCommand(\"%s\", \"%s\") refused: the movie was opened by the user.\r\n", entry->name,
                     printable(text).c_str());
        return;
    }
    quill::EngineHandle* handle = nullptr;
    if (entry->script) {
        BRIDGE_TRACE(text::trace_command, entry->name, printable(text).c_str());
        handle = engine();
        if (handle == nullptr) {
            return;
        }
    }
    CommandContext context{*this, m_actions, handle};
    entry->handler(context, text);
}

bool Bridge::run_initialize() {
    constexpr std::string_view name = "Initialize";
    CommandScope scope(m_nesting, m_quit_deferred, m_engine);
    BRIDGE_TRACE(text::trace_command, "Quill_Run", name.data());
    quill::EngineHandle* handle = engine();
    if (handle == nullptr) {
        return true;
    }
    run_script(name);
    // Read before the scope ends: a "Quill_Quit" during the run destroys the engine only then.
    if (m_cache->find(name) == nullptr || m_engine == nullptr) {
        return true;
    }
    const quill::Value& result = quill::last_result(m_engine);
    return result.tag != quill::Tag::Boolean || result.payload.flag != 0;
}

bool Bridge::run_script(std::string_view name) {
    quill::EngineHandle* handle = engine();
    if (handle == nullptr) {
        return false;
    }
    const ScriptCache::Node* node = m_cache->find(name);
    if (node == nullptr && m_state.items != nullptr) {
        appdata::LoadedItem item = appdata::load_item(*m_state.items, appdata::item::script_type, name);
        if (item.ok()) {
            node = &m_cache->add(name, std::move(item.bytes));
        }
    }
    if (node == nullptr) {
        BRIDGE_TRACE(text::trace_missing_script, printable(name).c_str());
        return false;
    }
    // Counted like a command: the engine is not destroyed under the running module even when the
    // caller is not inside one.
    CommandScope scope(m_nesting, m_quit_deferred, m_engine);
    if (!quill::run_compiled_bytes(handle, node->module.data(), node->module.size())) {
        trace_failed_run(handle);
        return false;
    }
    return true;
}

quill::EngineHandle* Bridge::engine() {
    if (m_engine == nullptr) {
        std::span<const quill::ClassRegistration> classes = projector_classes();
        quill::EngineConfig config;
        config.host_classes = classes.data();
        config.host_class_count = classes.size();
        m_engine = quill::create_engine(&config);
    }
    return m_engine;
}

bool Bridge::has_engine() const {
    return m_engine != nullptr;
}

void Bridge::quit_engine() {
    if (m_nesting > 0) {
        m_quit_deferred = true;
        return;
    }
    quill::destroy_engine(m_engine);
    m_engine = nullptr;
}

int Bridge::nesting() const {
    return m_nesting;
}

}  // namespace tarpon::projector
