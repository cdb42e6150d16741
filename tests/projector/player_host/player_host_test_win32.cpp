// The player host with the stand-in player control, loaded from the test program's folder as a
// provisioned module would be; the movies are made by the SWF writer.
#include "projector/player_host/player_host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/quill.h"
#include "host/host_classes.h"
#include "player/control/guids.h"
#include "player/swf/swf_writer.h"
#include "projector/app/projector_state.h"
#include "projector/appdata/item_source.h"
#include "projector/appdata/sm_container.h"
#include "projector/bridge/application_functions.h"
#include "projector/player_host/control_site.h"
#include "projector/player_host/provision.h"

namespace tarpon::projector {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

std::string bin_folder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::string player_module() { return bin_folder() + "tarpon-player.dll"; }

bool pump_until(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        Sleep(5);
    }
}

// A scratch folder (with its trailing separator), removed afterwards as far as nothing holds it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name) {
        m_path = std::filesystem::temp_directory_path() /
                 ("tarpon-player-host-" + name + "-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::remove_all(m_path, m_ignored);
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder() { std::filesystem::remove_all(m_path, m_ignored); }
    std::string path() const { return m_path.string() + "\\"; }
    std::string write(const std::string& name, const Bytes& bytes) const {
        std::string file = path() + name;
        EXPECT_TRUE(appdata::write_file(file, bytes));
        return file;
    }

private:
    std::filesystem::path m_path;
    std::error_code m_ignored;
};

Bytes fs_command_movie(bool compressed) {
    swf::MovieWriter movie(320, 240);
    movie.background(0x336699);
    swf::ActionWriter actions;
    actions.fscommand("Quill_Run", "x").stop();
    movie.actions(actions);
    movie.show_frame();
    return movie.finish(compressed);
}

class PlayerHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        WNDCLASSA window_class{};
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = "TarponPlayerHostTest";
        RegisterClassA(&window_class);
        parent = CreateWindowExA(0, "TarponPlayerHostTest", "Player host test",
                                 WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(parent, nullptr);
    }
    void TearDown() override {
        DestroyWindow(parent);
        pump_until([] { return true; });
        OleUninitialize();
    }

    RECT child_rectangle(HWND child) const {
        RECT rectangle;
        GetWindowRect(child, &rectangle);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rectangle), 2);
        return rectangle;
    }

    HWND parent = nullptr;
};

TEST_F(PlayerHostTest, TheControlFromAModuleIsAVisibleChildWithItsIdAndFollowsResizing) {
    PlayerHost host;
    ASSERT_EQ(host.create(parent, player_control_id, player_module()), S_OK);
    ASSERT_TRUE(host.exists());
    HWND window = host.window();
    ASSERT_NE(window, nullptr);
    EXPECT_NE(host.control(), nullptr);
    EXPECT_EQ(GetParent(window), parent);
    EXPECT_EQ(GetDlgCtrlID(window), player_control_id);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(style & 0x50000000, 0x50000000);
    RECT created = child_rectangle(window);
    EXPECT_TRUE(IsRectEmpty(&created));

    RECT wanted{10, 20, 210, 170};
    host.resize(wanted);
    RECT now = child_rectangle(window);
    EXPECT_TRUE(EqualRect(&now, &wanted)) << now.left << "," << now.top << "," << now.right << "," << now.bottom;

    host.destroy();
    EXPECT_FALSE(host.exists());
    EXPECT_EQ(host.window(), nullptr);
    EXPECT_EQ(host.control(), nullptr);
    EXPECT_FALSE(IsWindow(window));
    host.destroy();  // twice is fine
    EXPECT_FALSE(host.load_movie("C:\\any.swf", true));
}

TEST_F(PlayerHostTest, CreationFailuresGiveTheirStatusesAndLeaveNoControl) {
    PlayerHost host;
    EXPECT_EQ(host.create(parent, player_control_id, bin_folder() + "no-such-player.dll"), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(host.exists());
    // A resource-only library: it loads, but has no class-object export.
    EXPECT_EQ(host.create(parent, player_control_id, bin_folder() + "fixtures\\version_full.dll"), CO_E_ERRORINDLL);
    EXPECT_FALSE(host.exists());
    // No module, and the system has no player registered.
    EXPECT_TRUE(FAILED(host.create(parent, player_control_id, "")));
    EXPECT_FALSE(host.exists());
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    // With a licence key the factory's licensed creation makes the control.
    EXPECT_EQ(host.create(parent, player_control_id, player_module(), L"key"), S_OK);
    EXPECT_TRUE(host.exists());
}

// A further control (the About box's) gives back the module load it took when it goes, however
// often it is made; the main window's control keeps its load. A copy of the module under a name of
// its own is used, so that its load count is this test's alone.
TEST_F(PlayerHostTest, AControlWithItsOwnModuleLifetimeReleasesItsLoad) {
    ScratchFolder scratch("lifetime");
    std::optional<Bytes> module = appdata::read_file(player_module());
    ASSERT_TRUE(module);
    const std::string copy = scratch.write("second-player.dll", *module);
    const std::wstring wide_copy(copy.begin(), copy.end());

    HMODULE held = LoadLibraryA(copy.c_str());  // the load the main control would hold
    ASSERT_NE(held, nullptr);
    for (int opening = 0; opening < 3; ++opening) {
        PlayerHost box;
        ASSERT_EQ(box.create(parent, 1111, copy, {}, ModuleLifetime::Control), S_OK);
        EXPECT_EQ(box.module_path(), copy);
        box.destroy();
        EXPECT_TRUE(box.module_path().empty());
    }
    pump_until([] { return true; }, 200ms);
    FreeLibrary(held);
    EXPECT_EQ(GetModuleHandleW(wide_copy.c_str()), nullptr) << "a control left a load of the module behind";

    // With the process lifetime the load stays after the control is gone.
    {
        PlayerHost main;
        ASSERT_EQ(main.create(parent, player_control_id, copy), S_OK);
    }
    EXPECT_NE(GetModuleHandleW(wide_copy.c_str()), nullptr);
}

TEST_F(PlayerHostTest, MoviesAreMeasuredWhenAcceptedAndTheirCommandsArrive) {
    ScratchFolder folder("movies");
    PlayerHost host;
    std::vector<std::pair<std::string, std::string>> commands;
    host.set_command_handler([&](std::string_view command, std::string_view arguments) {
        commands.emplace_back(command, arguments);
    });
    ASSERT_EQ(host.create(parent, player_control_id, player_module()), S_OK);
    host.resize({0, 0, 320, 240});
    EXPECT_EQ(host.movie_background(), -1);  // nothing measured yet

    ASSERT_TRUE(host.load_movie(folder.write("plain.swf", fs_command_movie(false)), true));
    ASSERT_TRUE(pump_until([&] { return !commands.empty(); }));
    EXPECT_EQ(commands.front(), (std::pair<std::string, std::string>("Quill_Run", "x")));
    EXPECT_EQ(host.movie_width(), 320);
    EXPECT_EQ(host.movie_height(), 240);
    EXPECT_EQ(host.movie_background(), 0x336699);

    swf::MovieWriter small(64, 48);
    small.show_frame();
    ASSERT_TRUE(host.load_movie(folder.write("small.swf", small.finish(true)), false));
    EXPECT_EQ(host.movie_width(), 64);
    EXPECT_EQ(host.movie_height(), 48);
    EXPECT_EQ(host.movie_background(), -1);

    // A path the control refuses keeps what was measured before.
    EXPECT_FALSE(host.load_movie(folder.path() + "missing.swf", true));
    EXPECT_EQ(host.movie_width(), 64);
    EXPECT_EQ(host.movie_height(), 48);

    host.set_zoom_count(-3);
    EXPECT_EQ(host.zoom_count(), -3);
}

TEST(FsCommandEvent, ArgumentsArriveReversedByValueOrByReference) {
    VARIANT arguments[2];
    BSTR command = SysAllocString(L"Quill_Run");
    BSTR text = SysAllocString(L"caf\u00e9");
    arguments[1].vt = VT_BSTR;
    arguments[1].bstrVal = command;
    arguments[0].vt = VT_BSTR | VT_BYREF;
    arguments[0].pbstrVal = &text;
    DISPPARAMS params{arguments, nullptr, 2, 0};
    auto event = fs_command_of(params);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->first, "Quill_Run");
    EXPECT_EQ(event->second, "caf\xe9");  // ANSI text

    arguments[0].vt = VT_EMPTY;  // no arguments string: an empty one
    event = fs_command_of(params);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->second, "");

    arguments[1].vt = VT_I4;  // no command: nothing
    EXPECT_FALSE(fs_command_of(params));
    arguments[1].vt = VT_BSTR;
    arguments[1].bstrVal = nullptr;
    EXPECT_FALSE(fs_command_of(params));
    params.cArgs = 1;
    EXPECT_FALSE(fs_command_of(params));
    SysFreeString(command);
    SysFreeString(text);
}

TEST(InstalledPlayer, VersionsFrom6_0_79_0AreUsedAsInstalled) {
    auto version = [](uint64_t a, uint64_t b, uint64_t c, uint64_t d) { return a << 48 | b << 32 | c << 16 | d; };
    EXPECT_TRUE(installed_player_suffices(version(6, 0, 79, 0)));
    EXPECT_TRUE(installed_player_suffices(version(6, 0, 80, 0)));
    EXPECT_TRUE(installed_player_suffices(version(6, 1, 0, 0)));
    EXPECT_TRUE(installed_player_suffices(version(9, 0, 0, 0)));
    EXPECT_FALSE(installed_player_suffices(version(6, 0, 78, 65535)));
    EXPECT_FALSE(installed_player_suffices(version(5, 9, 999, 0)));
    EXPECT_FALSE(installed_player_suffices(0));
}

// The path variable as it is now, put back at the end of the test.
class SavedPath {
public:
    SavedPath() {
        DWORD size = GetEnvironmentVariableA("path", nullptr, 0);
        std::vector<char> buffer(size + 1, '\0');
        GetEnvironmentVariableA("path", buffer.data(), size + 1);
        m_path = buffer.data();
    }
    ~SavedPath() { SetEnvironmentVariableA("path", m_path.c_str()); }
    const std::string& text() const { return m_path; }
    static std::string now() { return SavedPath().m_path; }

private:
    std::string m_path;
};

TEST(PlayerPath, TheFolderIsAppendedToAPathOfAnyLength) {
    SavedPath saved;
    std::string long_path = saved.text();
    while (long_path.size() < 6000) {
        long_path += ";C:\\some\\folder\\of\\the\\path";
    }
    ASSERT_TRUE(SetEnvironmentVariableA("path", long_path.c_str()));
    ASSERT_TRUE(append_to_path("C:\\run\\"));
    EXPECT_EQ(SavedPath::now(), long_path + ";C:\\run\\");
}

TEST_F(PlayerHostTest, TheCarriedPlayerIsWrittenToTheRunFolderAndLoads) {
    ASSERT_EQ(installed_player_version(), 0u) << "this test expects no player registered with the system";
    SavedPath saved;
    ScratchFolder run("run");
    std::optional<Bytes> module = appdata::read_file(player_module());
    ASSERT_TRUE(module);
    appdata::ItemList items;
    items.add(appdata::item::tarpon_type, appdata::item::player, appdata::pack_sm(*module));
    ProjectorState& state = projector_state();
    const appdata::ItemSource* old_items = std::exchange(state.items, &items);
    std::string old_folder = std::exchange(state.run_folder, run.path());

    std::string provisioned = provision_player();
    EXPECT_EQ(provisioned, run.path() + "flash.ocx");
    EXPECT_EQ(appdata::read_file(provisioned), module);
    EXPECT_EQ(SavedPath::now(), saved.text() + ";" + run.path());
    {
        PlayerHost host;
        EXPECT_EQ(host.create(parent, player_control_id, provisioned), S_OK);
    }

    // Without the carried player there is nothing to provision.
    appdata::ItemList empty;
    state.items = &empty;
    EXPECT_EQ(provision_player(), "");
    state.items = old_items;
    state.run_folder = old_folder;
}

TEST_F(PlayerHostTest, TheGenericSiteHostsAControlFromAClassFactory) {
    HMODULE library = LoadLibraryA(player_module().c_str());
    ASSERT_NE(library, nullptr);
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "DllGetClassObject")));
    ASSERT_NE(get, nullptr);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(get(player::clsid_shockwave_flash, IID_IClassFactory, factory.put_void()), S_OK);
    ComPtr<IUnknown> object;
    ASSERT_EQ(create_control_object(player::clsid_shockwave_flash, factory.get(), {}, object), S_OK);

    ControlSite site;
    RECT wanted{5, 6, 55, 56};
    ASSERT_EQ(site.create(object.get(), parent, 0xFFFF, wanted), S_OK);
    object.reset();
    HWND window = site.window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetDlgCtrlID(window), 0xFFFF);
    RECT now = child_rectangle(window);
    EXPECT_TRUE(EqualRect(&now, &wanted));
    EXPECT_TRUE(site.query<IDispatch>(IID_IDispatch));
    site.destroy();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(site.exists());

    // An object that is no control is refused and released.
    ComPtr<IUnknown> not_a_control;
    ASSERT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               not_a_control.put_void()),
              S_OK);
    EXPECT_EQ(site.create(not_a_control.get(), parent, 1, wanted), E_NOINTERFACE);
    EXPECT_FALSE(site.exists());
}

// Runs the text in an engine with the host classes and createControl; the result's string
// conversion, or "failed: <message>".
std::string run_script(const std::string& source) {
    quill::EngineConfig config;
    std::span<const quill::ClassRegistration> classes = host::host_classes();
    config.host_classes = classes.data();
    config.host_class_count = classes.size();
    quill::EngineHandle* engine = quill::create_engine(&config);
    quill::run_native(engine, [](quill::ScriptEngine* e) { register_create_control(e); });
    std::string result = quill::run_source_text(engine, source.c_str())
                             ? quill::last_result_text(engine)
                             : std::string("failed: ") + quill::last_message(engine);
    quill::destroy_engine(engine);
    return result;
}

TEST_F(PlayerHostTest, CreateControlGivesNullForWhatIsNoControlAndLeavesNoWindow) {
    PlayerHost host;
    ASSERT_EQ(host.create(parent, player_control_id, player_module()), S_OK);
    host.resize({0, 0, 320, 240});
    projector_state().player = &host;

    EXPECT_EQ(run_script("createControl(5) === null"), "true");
    EXPECT_EQ(run_script("createControl() === null"), "true");
    EXPECT_EQ(run_script("createControl('No.Such.ProgId.Anywhere') === null"), "true");
    EXPECT_EQ(run_script("createControl('{not a class id}') === null"), "true");
    EXPECT_EQ(run_script("createControl('{0E7C8E31-6A4A-4F3C-9E55-2B3C1D1E0F77}', 1, 2, 3, 4) === null"), "true");
    // Registered classes that are no controls.
    EXPECT_EQ(run_script("createControl('Scripting.Dictionary') === null"), "true");
    EXPECT_EQ(run_script("createControl('{00000323-0000-0000-C000-000000000046}') === null"), "true");
    EXPECT_EQ(GetWindow(host.window(), GW_CHILD), nullptr);
    destroy_script_controls();

    // Without a player window there is nothing to place a control over.
    projector_state().player = nullptr;
    EXPECT_EQ(run_script("createControl('Scripting.Dictionary') === null"), "true");
}

// The player's class factory from the module, registered for this process only: the system then
// creates the control by its class id as it would an installed one.
class RegisteredPlayer {
public:
    RegisteredPlayer() {
        HMODULE library = LoadLibraryA(player_module().c_str());
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        auto get = library != nullptr ? reinterpret_cast<GetClassObject>(reinterpret_cast<void (*)()>(
                                            GetProcAddress(library, "DllGetClassObject")))
                                      : nullptr;
        ComPtr<IUnknown> factory;
        if (get != nullptr && SUCCEEDED(get(player::clsid_shockwave_flash, IID_IUnknown, factory.put_void()))) {
            m_status = CoRegisterClassObject(player::clsid_shockwave_flash, factory.get(), CLSCTX_INPROC_SERVER,
                                             REGCLS_MULTIPLEUSE, &m_cookie);
        }
    }
    ~RegisteredPlayer() {
        if (SUCCEEDED(m_status)) {
            CoRevokeClassObject(m_cookie);
        }
    }
    bool ok() const { return SUCCEEDED(m_status); }

private:
    HRESULT m_status = E_FAIL;
    DWORD m_cookie = 0;
};

TEST_F(PlayerHostTest, ControlsComeFromTheSystemByClassIdAndCreateControlPlacesThemOverTheMovie) {
    RegisteredPlayer registered;
    ASSERT_TRUE(registered.ok());
    PlayerHost host;
    ASSERT_EQ(host.create(parent, player_control_id, ""), S_OK);
    host.resize({0, 0, 320, 240});
    projector_state().player = &host;

    std::string placed = run_script(
        "var c = createControl('{D27CDB6E-AE6D-11CF-96B8-444553540000}', 10, 20, 110, 90);"
        "c === null ? 'null' : c.window.handle + ',' + c.window.width + ',' + c.activex + ',' + c.activex.TotalFrames");
    std::string defaults =
        run_script("var d = createControl('{D27CDB6E-AE6D-11CF-96B8-444553540000}'); d === null ? 'null' : d.window.width");
    projector_state().player = nullptr;
    ASSERT_NE(placed, "null");
    HWND window = reinterpret_cast<HWND>(static_cast<intptr_t>(std::stoll(placed)));
    EXPECT_EQ(placed.substr(placed.find(',')), ",100,[object ActiveXObject],0");
    EXPECT_EQ(defaults, "50");
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(GetParent(window), host.window());
    EXPECT_EQ(GetDlgCtrlID(window), 0xFFFF);
    RECT now;
    GetWindowRect(window, &now);
    MapWindowPoints(nullptr, host.window(), reinterpret_cast<POINT*>(&now), 2);
    EXPECT_EQ(now.left, 10);
    EXPECT_EQ(now.top, 20);
    EXPECT_EQ(now.bottom, 90);

    destroy_script_controls();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(GetWindow(host.window(), GW_CHILD), nullptr);
    destroy_script_controls();  // nothing left to destroy
}

}  // namespace
}  // namespace tarpon::projector
