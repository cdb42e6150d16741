// A stand-in for the player host, built only while its own library is not part of the build: a
// plain child window in the control's place, no control behind it, and nothing provisioned.
#include "projector/player_host/player_host.h"

#include "projector/appdata/file_system.h"

namespace tarpon::projector {

struct PlayerHost::Impl {
    HWND window = nullptr;
    CommandHandler handler;
    int zoom = 0;
};

PlayerHost::PlayerHost() : m_impl(new Impl) {}

PlayerHost::~PlayerHost() {
    destroy();
    delete m_impl;
}

void PlayerHost::set_command_handler(CommandHandler handler) {
    m_impl->handler = std::move(handler);
}

HRESULT PlayerHost::create(HWND parent, int id, const std::string&, const std::wstring&) {
    m_impl->window = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                                     nullptr);
    return m_impl->window != nullptr ? S_OK : E_FAIL;
}

void PlayerHost::destroy() {
    if (m_impl->window != nullptr) {
        if (IsWindow(m_impl->window)) {
            DestroyWindow(m_impl->window);
        }
        m_impl->window = nullptr;
    }
}

bool PlayerHost::exists() const {
    return m_impl->window != nullptr;
}

HWND PlayerHost::window() const {
    return m_impl->window;
}

tarpon::player::IShockwaveFlash* PlayerHost::control() const {
    return nullptr;
}

void PlayerHost::resize(const RECT& rectangle) {
    if (m_impl->window != nullptr) {
        MoveWindow(m_impl->window, rectangle.left, rectangle.top, rectangle.right - rectangle.left,
                   rectangle.bottom - rectangle.top, TRUE);
    }
}

bool PlayerHost::load_movie(const std::string& path, bool) {
    return m_impl->window != nullptr && appdata::file_exists(path);
}

int PlayerHost::movie_width() const {
    return 0;
}

int PlayerHost::movie_height() const {
    return 0;
}

int32_t PlayerHost::movie_background() const {
    return -1;
}

int PlayerHost::zoom_count() const {
    return m_impl->zoom;
}

void PlayerHost::set_zoom_count(int count) {
    m_impl->zoom = count;
}

std::string provision_player() {
    return {};
}

}  // namespace tarpon::projector
