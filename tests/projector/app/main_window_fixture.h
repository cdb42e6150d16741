// A main window made as start-up makes it, for the tests that drive it in-process under Wine.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "projector/app/projector_state.h"
#include "projector/appdata/item_source.h"
#include "projector/appdata/sm_container.h"
#include "projector/window/main_window.h"

namespace tarpon::projector {

inline std::string own_folder() {
    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length);
    return text.substr(0, text.find_last_of("\\/") + 1);
}

// Dispatches what is waiting; true when the quit message was among it.
inline bool drain_messages() {
    bool quit = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
        } else {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return quit;
}

// A main window as start-up makes it, with the player module of the build carried as the FP item
// in case no player is installed.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ProjectorState& state = projector_state();
        // One folder per test: ctest runs them side by side.
        m_run_folder = std::filesystem::temp_directory_path() /
                       ("tarpon-main-window-" +
                        std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(m_run_folder);
        state.run_folder = m_run_folder.string() + "\\";
        if (auto player = appdata::read_file(own_folder() + "tarpon-player.dll")) {
            m_items.add(appdata::item::tarpon_type, appdata::item::player, appdata::pack_sm(*player));
        }
        state.items = &m_items;
        state.settings = appdata::Settings{};
        ASSERT_TRUE(MainWindow::register_window_class(GetModuleHandleA(nullptr)));
        m_owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_owner, nullptr);
        m_window = std::make_unique<MainWindow>(state);
        ASSERT_TRUE(m_window->create_window(GetModuleHandleA(nullptr), m_owner));
        state.main_window = m_window->handle();
    }
    void TearDown() override {
        m_window.reset();
        drain_messages();
        MSG quit;
        while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        DestroyWindow(m_owner);
        ProjectorState& state = projector_state();
        state.items = nullptr;
        state.main_window = nullptr;
        state.close_pending = false;
        std::error_code ignored;
        std::filesystem::remove_all(m_run_folder, ignored);
    }

    std::filesystem::path m_run_folder;
    appdata::ItemList m_items;
    HWND m_owner = nullptr;
    std::unique_ptr<MainWindow> m_window;
};

}  // namespace tarpon::projector
