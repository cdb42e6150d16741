// The FSCommand bridge: turns the movie's commands into script runs. It owns the one script engine
// (made on the first script command with every built-in and host class registered, the same list
// as quill.exe plus the projector's application functions) and the cache of compiled scripts.
//
//   Bridge bridge(state);                       // state: the process-wide ProjectorState
//   bridge.command("Quill_Run", "Initialize", MovieOrigin::Author);
//   bool go_on = bridge.run_initialize();
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/quill.h"
#include "projector/app/projector_state.h"

namespace tarpon::projector {

class ScriptCache;

// What the bridge asks of the application; the projector's main window implements it.
class BridgeActions {
public:
    virtual ~BridgeActions() = default;
    // The close routine ("quit").
    virtual void close_main_window() = 0;
    // "fullscreen": true maximizes the main window, false restores it.
    virtual void set_full_screen(bool full_screen) = 0;
};

class Bridge {
public:
    Bridge(ProjectorState& state, BridgeActions& actions);
    ~Bridge();  // destroys the engine and frees the cache
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // One command from the movie. Compared without regard to case; unknown commands are ignored.
    // `origin` is where the movie that sent it came from.
    void command(std::string_view command, std::string_view argument, MovieOrigin origin);

    // Runs the script `Initialize`: false only when the engine's result is the Boolean false.
    bool run_initialize();

    // The "Quill_Run" path without the command bookkeeping (also the application function
    // `invoke`): the cached or newly loaded QUILL item run on the engine. False when the script is
    // missing or the run failed.
    bool run_script(std::string_view name);

    // The engine, made on first use; null when it cannot be made.
    quill::EngineHandle* engine();
    bool has_engine() const;
    // "Quill_Quit": destroys the engine. While a command runs (nesting above one) this is put off
    // until the outermost command returns.
    void quit_engine();

    // The number of commands executing now.
    int nesting() const;

private:
    ProjectorState& m_state;
    BridgeActions& m_actions;
    std::unique_ptr<ScriptCache> m_cache;
    quill::EngineHandle* m_engine = nullptr;
    int m_nesting = 0;
    bool m_quit_deferred = false;
};

}  // namespace tarpon::projector
