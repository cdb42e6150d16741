#include "projector/app/application.h"

#include <cstdlib>
#include <optional>

#include <ole2.h>
#include <shellapi.h>
#include <winsock2.h>

#include "host/ui/host_window.h"
#include "host/ui/message_loop.h"
#include "platform/wide_text.h"
#include "projector/app/projector_messages.h"
#include "projector/app/resource_ids.h"
#include "projector/app/startup_settings.h"
#include "projector/app/system_changes.h"
#include "projector/appdata/additional_files.h"
#include "projector/appdata/archive.h"
#include "projector/appdata/command_line.h"
#include "projector/appdata/file_system.h"
#include "projector/appdata/identity.h"
#include "projector/appdata/mask_list.h"
#include "projector/appdata/messages.h"
#include "projector/appdata/movie_list.h"
#include "projector/appdata/run_folder.h"
#include "projector/appdata/saved_options.h"
#include "projector/window/control_events.h"
#include "projector/window/link_window.h"
#include "projector/window/main_window.h"
#include "projector/window/settings_apply.h"
#include "projector/window/window_menus.h"
#include "projector/window/window_rules.h"

namespace tarpon::projector {

namespace {

Application* current_application = nullptr;

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

std::string module_path() {
    char buffer[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    return std::string(buffer, length);
}

bool hook_pre_translate(MSG* message) {
    return current_application != nullptr && current_application->pre_translate(message);
}

void hook_shutdown() {
    if (current_application == nullptr) {
        return;
    }
    // The loop that took the quit message is a script's. While a command of the movie runs, its
    // engine must stay: the quit goes back into the queue for the outer loop, which shuts down once
    // the command has returned. Otherwise shut down now and let the outer loop end too.
    Bridge* bridge = projector_state().bridge;
    if (bridge != nullptr && bridge->nesting() > 0) {
        PostQuitMessage(0);
        return;
    }
    PostQuitMessage(current_application->exit_instance());
}

bool hook_take_pending_close() {
    ProjectorState& state = projector_state();
    if (!state.close_pending) {
        return false;
    }
    state.close_pending = false;
    return true;
}

}  // namespace

Application::Application(HINSTANCE instance, ProjectorState& state) : m_instance(instance), m_state(state) {
    current_application = this;
}

Application::~Application() {
    exit_instance();
    host::set_message_loop_hooks({});
    if (current_application == this) {
        current_application = nullptr;
    }
}

Application* Application::current() {
    return current_application;
}

std::string Application::title() const {
    std::string name = m_state.exe_path;
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name.empty() ? std::string("Tarpon") : name;
}

std::vector<std::string> Application::command_line_arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr) {
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        arguments.push_back(platform::wide_to_ansi(words[i]));
    }
    LocalFree(words);
    return arguments;
}

bool Application::create_owner_window() {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExA(m_instance, owner_window_class, &existing)) {
        WNDCLASSEXA owner{};
        owner.cbSize = sizeof owner;
        owner.lpfnWndProc = DefWindowProcA;
        owner.hInstance = m_instance;
        owner.lpszClassName = owner_window_class;
        if (RegisterClassExA(&owner) == 0) {
            return false;
        }
    }
    m_state.owner_window = CreateWindowExA(0, owner_window_class, "", 0, 0, 0, 0, 0, nullptr, nullptr, m_instance,
                                           nullptr);
    return m_state.owner_window != nullptr;
}

bool Application::init_instance() {
    m_exit_code = 1;
    m_state.exe_path = module_path();
    size_t slash = m_state.exe_path.find_last_of("\\/");
    m_state.exe_folder = slash == std::string::npos ? std::string() : m_state.exe_path.substr(0, slash) + "\\";

    // 1. Windows Sockets 1.1, and nothing else.
    WSADATA sockets{};
    int started = WSAStartup(MAKEWORD(1, 1), &sockets);
    m_sockets_started = started == 0;
    if (started != 0 || sockets.wVersion != MAKEWORD(1, 1)) {
        MessageBoxA(nullptr, text::sockets_failed, title().c_str(), MB_OK);
        return false;
    }

    // 2. Control hosting, and the link windows of the About box. The system changes below are
    // undone on a crash too.
    m_ole_started = SUCCEEDED(OleInitialize(nullptr));
    register_link_window_class(m_instance);
    install_crash_restore();
    install_message_loop_hooks();

    // 3. The identity: the registry key and profile of the saved options.
    auto items = std::make_unique<appdata::ModuleItemSource>();
    m_state.items = items.get();
    m_items = std::move(items);
    auto identity = appdata::load_identity(*m_items, title());
    if (!identity) {
        MessageBoxA(nullptr, appdata::message_text(appdata::Message::InvalidApplicationData), title().c_str(),
                    MB_OK | MB_ICONERROR);
        return false;
    }
    m_state.identity = *identity;

    // 4. The profile is the registry key of the identity; there is no recent-file list.
    // 5. The run folder (what a crashed run left behind goes first).
    std::string base = appdata::run_folder_base(environment("TMP"), environment("TEMP"), appdata::windows_directory());
    if (!base.empty()) {
        remove_stale_run_folders(base);
    }
    m_state.run_folder = appdata::create_run_folder();
    if (!m_state.run_folder.empty()) {
        // Held for the whole run, so a later start can tell a live run's folder from a crashed one's.
        hold_run_folder(m_state.run_folder);
    }
    m_executable = appdata::FileBytes::open(m_state.exe_path);
    if (m_executable) {
        m_state.additional_files =
            std::make_unique<appdata::AdditionalFiles>(*m_executable, m_state.exe_folder, m_state.run_folder);
    }

    // 6.-8. The movies of the command line; the settings and masks of an options file, else the
    // executable's (or the saved options).
    m_state.settings = appdata::Settings{};
    m_state.movies.clear();
    m_state.masks.clear();
    appdata::CommandLine command_line = appdata::read_command_line(command_line_arguments());
    for (const std::string& movie : command_line.movies) {
        m_state.movies.movies.push_back(appdata::MovieNode{movie, appdata::movie_kind::movie});
    }
    appdata::RegistryOptionsStore store(m_state.identity.registry_key, m_state.identity.profile_name);
    std::vector<appdata::MaskEntry> masks;
    load_run_settings(command_line.options_file, *m_items, store, m_state.settings, masks);
    if (!m_state.run_folder.empty()) {
        std::string error;
        m_state.masks = appdata::extract_masks(masks, m_state.run_folder, error);
        appdata::extract_embedded_files(m_state.settings, m_state.run_folder);
    }

    // 9. The movie list of the executable when the command line named none.
    if (m_state.movies.movies.empty()) {
        appdata::LoadedItem list_item = appdata::load_item(*m_items, appdata::item::tarpon_type, appdata::item::movies);
        appdata::MovieListItem list;
        if (list_item.ok() && appdata::read_movie_list(list_item.bytes, list)) {
            std::string error;
            appdata::load_movie_list(list, m_state.run_folder, m_state.exe_folder, m_state.movies, error);
        }
    }

    // 10. The owner window and the main window, which makes the player control.
    if (!create_owner_window() || !MainWindow::register_window_class(m_instance)) {
        return false;
    }
    m_main = std::make_unique<MainWindow>(m_state);
    if (!m_main->create_window(m_instance, m_state.owner_window)) {
        // Initialize has run (and the player message has been shown) in the window's creation.
        m_exit_code = m_main->initialize_ran() && !m_main->run_initialize() ? 0 : 1;
        m_main.reset();
        return false;
    }
    HWND main = m_main->handle();

    // 11. Icon, accelerators, the application's main window.
    if (HICON icon = LoadIconA(m_instance, MAKEINTRESOURCEA(resource_id::main_icon))) {
        SetClassLongPtrA(main, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
    }
    m_accelerators = LoadAcceleratorsA(m_instance, MAKEINTRESOURCEA(resource_id::accelerators));
    m_state.main_window = main;
    host::set_host_main_window(main);

    // 12. Without movies the user may open one.
    m_state.open_movie_enabled = m_state.movies.movies.empty();

    // 13. Initialize: a false from it ends the run silently.
    if (!m_main->run_initialize()) {
        m_exit_code = 0;
        return false;
    }

    const appdata::Settings& settings = m_state.settings;
    // 14.-16. Mute, system-menu additions, kiosk.
    apply_mute((settings.misc_flags & 0x100) != 0);
    build_system_menu(main, settings.menu_flags, m_main->system_menu_base());
    apply_kiosk(settings.kiosk_flags);

    // 17. The tray icon. Its tip is the caption, so the caption is given before the style does.
    if ((settings.window_flags & 0x1000) != 0) {
        SetWindowTextA(main, settings.caption.c_str());
        add_tray_icon(main, (settings.window_flags & 0x2) != 0);
    }

    // 18.-20. The start movie, the style, placement and shape; the ratio; minimized and top-most.
    show_start_movie();
    record_aspect_ratio(*m_main);
    apply_placement_flags(main, settings.window_flags, false);

    // 21. The help file and the player's background colour.
    choose_help_file();
    SendMessageA(main, message::set_background, 0, static_cast<LPARAM>(settings.background));

    // 22.
    UpdateWindow(main);
    m_exit_code = 0;
    return true;
}

void Application::show_start_movie() {
    HWND main = m_main->handle();
    const appdata::Settings& settings = m_state.settings;
    std::string start = appdata::pick_start_movie(m_state.movies);
    if (start.empty()) {
        apply_style(main, settings);
        ShowWindow(main, SW_SHOWNORMAL);
        return;
    }
    m_state.movie_origin = MovieOrigin::Author;
    m_main->player().load_movie(start, (settings.window_flags & 0x1) != 0);
    apply_style(main, settings);
    place_for_current_movie(*m_main);
    shape_for_current_movie(*m_main);
}

void Application::choose_help_file() {
    m_help_file = (m_state.settings.misc_flags & 0x1000) != 0 ? m_state.settings.help_file.path : std::string();
}

int Application::run() {
    MSG message{};
    for (;;) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            m_exit_code = static_cast<int>(message.wParam);
            break;
        }
        if (got == -1) {
            break;
        }
        if (!pre_translate(&message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return exit_instance();
}

bool Application::pre_translate(MSG* message) {
    if (m_state.main_window == nullptr) {
        return false;
    }
    if (m_accelerators != nullptr && message->message >= WM_KEYFIRST && message->message <= WM_KEYLAST &&
        TranslateAcceleratorA(m_state.main_window, m_accelerators, message) != 0) {
        return true;
    }
    // The mouse and keys on the control, by the interaction settings.
    return m_main && handle_control_input(*m_main, *message);
}

HMODULE Application::html_help_library() {
    if (m_help_library == nullptr) {
        m_help_library = LoadLibraryA("HHCTRL.OCX");
    }
    return m_help_library;
}

int Application::exit_instance() {
    if (m_exited) {
        return m_exit_code;
    }
    m_exited = true;
    // A start-up that stopped after making the main window leaves it to go first. The object
    // itself stays until the application goes: this may run inside one of its handlers.
    if (m_main && m_main->handle() != nullptr) {
        m_main->player().destroy();
        DestroyWindow(m_main->handle());
        // Its destruction posted a quit message for a loop that will not run.
        MSG quit;
        PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    m_state.main_window = nullptr;
    host::set_host_main_window(nullptr);

    // 1.-2. Kiosk and mute.
    undo_kiosk();
    restore_mute();
    // 3. Movies the list wrote out.
    if ((m_state.movies.flags & appdata::movie_flags::stored) != 0) {
        for (const appdata::MovieNode& movie : m_state.movies.movies) {
            appdata::remove_file(movie.path);
        }
    }
    // 4. The records and lists.
    m_state.settings = appdata::Settings{};
    m_state.movies.clear();
    m_state.masks.clear();
    m_state.additional_files.reset();
    m_executable.reset();
    // 5. HTML help.
    if (m_help_library != nullptr) {
        FreeLibrary(m_help_library);
        m_help_library = nullptr;
    }
    // 6. The player module written for this run.
    if (!m_state.run_folder.empty()) {
        std::string player = m_state.run_folder + "flash.ocx";
        if (appdata::file_exists(player)) {
            if (HMODULE module = GetModuleHandleA(player.c_str())) {
                FreeLibrary(module);
            }
        }
    }
    // 7. The owner window.
    if (m_state.owner_window != nullptr) {
        DestroyWindow(m_state.owner_window);
        m_state.owner_window = nullptr;
    }
    // 8. The run folder and all in it.
    if (!m_state.run_folder.empty()) {
        release_run_folder();
        appdata::remove_tree(m_state.run_folder);
        m_state.run_folder.clear();
    }
    // 9. The framework's own exit.
    m_state.items = nullptr;
    if (m_ole_started) {
        OleUninitialize();
        m_ole_started = false;
    }
    if (m_sockets_started) {
        WSACleanup();
        m_sockets_started = false;
    }
    return m_exit_code;
}

void install_message_loop_hooks() {
    host::MessageLoopHooks hooks;
    hooks.pre_translate = hook_pre_translate;
    hooks.shutdown = hook_shutdown;
    hooks.take_pending_close = hook_take_pending_close;
    host::set_message_loop_hooks(hooks);
}

int run_projector(HINSTANCE instance) {
    Application application(instance);
    if (!application.init_instance()) {
        return application.exit_instance();
    }
    return application.run();
}

}  // namespace tarpon::projector
