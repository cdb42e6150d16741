// The application object: start-up in its fixed order (sockets, identity, run folder, settings,
// movie list, the owner and main windows with the player control, Initialize, the system changes,
// the start movie and the window's placement), the message loop, and the shutdown that undoes every
// change and removes every extracted file.
//
//   Application app(instance);
//   if (!app.init_instance()) return app.exit_instance();
//   return app.run();  // the message loop, then exit_instance
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/windows.h"
#include "projector/app/projector_state.h"

namespace tarpon::appdata {
class ByteSource;
}

namespace tarpon::projector {

class MainWindow;

class Application {
public:
    explicit Application(HINSTANCE instance, ProjectorState& state = projector_state());
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Start-up. False when the process is to end: the reason has been shown to the user (or, when
    // Initialize returned false, the script has).
    bool init_instance();
    // The message loop until the quit message, then exit_instance; the process's exit status.
    int run();
    // Shutdown: destroys the main window if start-up left it, undoes the system changes, deletes the
    // extracted files and the run folder. Runs once; later calls give the same status.
    int exit_instance();

    // Accelerators and the like; true when the message was consumed.
    bool pre_translate(MSG* message);

    // The arguments after the program name, in the ANSI code page.
    static std::vector<std::string> command_line_arguments();

    // The help file of the settings (misc flag 0x1000), or empty; chosen at start-up and again
    // after the options sheet.
    const std::string& help_file() const { return m_help_file; }
    void choose_help_file();
    // The HTML-help library, loaded on first use; null when it cannot be loaded.
    HMODULE html_help_library();

    HWND owner_window() const { return m_state.owner_window; }
    MainWindow* main_window() { return m_main.get(); }

    // The application of the process while one exists.
    static Application* current();

private:
    bool create_owner_window();
    void show_start_movie();
    std::string title() const;

    HINSTANCE m_instance;
    ProjectorState& m_state;
    std::unique_ptr<appdata::ItemSource> m_items;
    std::unique_ptr<appdata::ByteSource> m_executable;
    std::unique_ptr<MainWindow> m_main;
    HACCEL m_accelerators = nullptr;
    HMODULE m_help_library = nullptr;
    std::string m_help_file;
    bool m_sockets_started = false;
    bool m_ole_started = false;
    bool m_exited = false;
    int m_exit_code = 0;
};

// The class of the invisible owner window (the About box's links are in window/link_window.h).
constexpr const char* owner_window_class = "TarponOwner";

// Gives processMsg the application's pre-translation, its shutdown for the quit message, and the
// close put off while a script ran (which makes processMsg return false).
void install_message_loop_hooks();

// The run of wWinMain.
int run_projector(HINSTANCE instance);

}  // namespace tarpon::projector
