// The automation interface's access to the movie's variables and to timelines by target path, and
// the members this player does not model.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "player/control/player_control.h"
#include "player/control/player_text.h"

namespace tarpon::player {

namespace {

HRESULT give(BSTR* out, BSTR value) {
    *out = value;
    return value != nullptr ? S_OK : E_OUTOFMEMORY;
}

// A property value as a number; false when it is not one (such as _name or _target).
bool parse_number(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    value = std::strtod(begin, &end);
    return end != begin && *end == '\0' && errno != ERANGE && std::isfinite(value);
}

std::string number_text(double value) {
    char buffer[32];
    if (std::nearbyint(value) == value && std::fabs(value) < 1e15) {
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
    } else {
        std::snprintf(buffer, sizeof buffer, "%.15g", value);
    }
    return buffer;
}

} // namespace

HRESULT PlayerControl::SetVariable(BSTR name, BSTR value) {
    if (!m_player.loaded()) {
        return E_FAIL;
    }
    m_player.set_variable(movie_text(name), movie_text(value));
    return S_OK;
}

HRESULT PlayerControl::GetVariable(BSTR name, BSTR* value) {
    if (value == nullptr) {
        return E_POINTER;
    }
    *value = nullptr;
    if (!m_player.loaded()) {
        return E_FAIL;
    }
    return give(value, new_bstr(m_player.get_variable(movie_text(name))));
}

HRESULT PlayerControl::TGotoFrame(BSTR target, long frame) {
    if (frame < 0) {
        return E_INVALIDARG;
    }
    if (!m_player.target_goto_frame(movie_text(target), static_cast<int>(std::min<long>(frame, 0xFFFF)))) {
        return E_INVALIDARG;
    }
    timeline_changed();
    return S_OK;
}

HRESULT PlayerControl::TGotoLabel(BSTR target, BSTR label) {
    if (!m_player.target_goto_label(movie_text(target), movie_text(label))) {
        return E_INVALIDARG;
    }
    timeline_changed();
    return S_OK;
}

HRESULT PlayerControl::TCurrentFrame(BSTR target, long* frame) {
    if (frame == nullptr) {
        return E_POINTER;
    }
    int current = m_player.target_current_frame(movie_text(target));
    *frame = current;
    return current >= 0 ? S_OK : E_INVALIDARG;
}

HRESULT PlayerControl::TCurrentLabel(BSTR target, BSTR* label) {
    if (label == nullptr) {
        return E_POINTER;
    }
    *label = nullptr;
    std::string path = movie_text(target);
    if (m_player.target_current_frame(path) < 0) {
        return E_INVALIDARG;
    }
    return give(label, new_bstr(m_player.target_current_label(path)));
}

HRESULT PlayerControl::TPlay(BSTR target) {
    if (!m_player.target_play(movie_text(target))) {
        return E_INVALIDARG;
    }
    update_timer();
    return S_OK;
}

HRESULT PlayerControl::TStopPlay(BSTR target) {
    return m_player.target_stop(movie_text(target)) ? S_OK : E_INVALIDARG;
}

HRESULT PlayerControl::TCallFrame(BSTR target, int frame) {
    if (!m_player.target_call_frame(movie_text(target), frame)) {
        return E_INVALIDARG;
    }
    timeline_changed();
    return S_OK;
}

HRESULT PlayerControl::TCallLabel(BSTR target, BSTR label) {
    if (!m_player.target_call_label(movie_text(target), movie_text(label))) {
        return E_INVALIDARG;
    }
    timeline_changed();
    return S_OK;
}

HRESULT PlayerControl::TSetProperty(BSTR target, int property, BSTR value) {
    if (!m_player.set_property(movie_text(target), property, movie_text(value))) {
        return E_INVALIDARG;
    }
    invalidate();
    return S_OK;
}

HRESULT PlayerControl::TGetProperty(BSTR target, int property, BSTR* value) {
    if (value == nullptr) {
        return E_POINTER;
    }
    *value = nullptr;
    std::optional<std::string> text = m_player.get_property(movie_text(target), property);
    if (!text) {
        return E_INVALIDARG;
    }
    return give(value, new_bstr(*text));
}

HRESULT PlayerControl::TSetPropertyNum(BSTR target, int property, double value) {
    if (!std::isfinite(value)) {
        return E_INVALIDARG;
    }
    if (!m_player.set_property(movie_text(target), property, number_text(value))) {
        return E_INVALIDARG;
    }
    invalidate();
    return S_OK;
}

HRESULT PlayerControl::TGetPropertyNum(BSTR target, int property, double* value) {
    if (value == nullptr) {
        return E_POINTER;
    }
    *value = 0;
    std::optional<std::string> text = m_player.get_property(movie_text(target), property);
    if (!text) {
        return E_INVALIDARG;
    }
    return parse_number(*text, *value) ? S_OK : DISP_E_TYPEMISMATCH;
}

HRESULT PlayerControl::TGetPropertyAsNumber(BSTR target, int property, double* value) {
    return TGetPropertyNum(target, property, value);
}

// --- Members this player does not model -------------------------------------------------------

namespace {

HRESULT not_modelled(BSTR* out) {
    if (out != nullptr) {
        *out = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT not_modelled(VARIANT_BOOL* out) {
    if (out != nullptr) {
        *out = VARIANT_FALSE;
    }
    return E_NOTIMPL;
}

} // namespace

HRESULT PlayerControl::get_WMode(BSTR* mode) { return not_modelled(mode); }
HRESULT PlayerControl::put_WMode(BSTR) { return E_NOTIMPL; }
HRESULT PlayerControl::get_SAlign(BSTR* align) { return not_modelled(align); }
HRESULT PlayerControl::put_SAlign(BSTR) { return E_NOTIMPL; }
HRESULT PlayerControl::get_Base(BSTR* base) { return not_modelled(base); }
HRESULT PlayerControl::put_Base(BSTR) { return E_NOTIMPL; }
HRESULT PlayerControl::get_Scale(BSTR* scale) { return not_modelled(scale); }
HRESULT PlayerControl::put_Scale(BSTR) { return E_NOTIMPL; }
HRESULT PlayerControl::get_DeviceFont(VARIANT_BOOL* device_font) { return not_modelled(device_font); }
HRESULT PlayerControl::put_DeviceFont(VARIANT_BOOL) { return E_NOTIMPL; }
HRESULT PlayerControl::get_EmbedMovie(VARIANT_BOOL* embed) { return not_modelled(embed); }
HRESULT PlayerControl::put_EmbedMovie(VARIANT_BOOL) { return E_NOTIMPL; }
HRESULT PlayerControl::get_BGColor(BSTR* color) { return not_modelled(color); }
HRESULT PlayerControl::put_BGColor(BSTR) { return E_NOTIMPL; }
HRESULT PlayerControl::get_SWRemote(BSTR* remote) { return not_modelled(remote); }
HRESULT PlayerControl::put_SWRemote(BSTR) { return E_NOTIMPL; }
HRESULT PlayerControl::get_FlashVars(BSTR* vars) { return not_modelled(vars); }
HRESULT PlayerControl::put_FlashVars(BSTR) { return E_NOTIMPL; }
HRESULT PlayerControl::get_AllowScriptAccess(BSTR* access) { return not_modelled(access); }
HRESULT PlayerControl::put_AllowScriptAccess(BSTR) { return E_NOTIMPL; }
HRESULT PlayerControl::get_MovieData(BSTR* data) { return not_modelled(data); }
HRESULT PlayerControl::put_MovieData(BSTR) { return E_NOTIMPL; }
HRESULT PlayerControl::get_InlineData(IUnknown** data) {
    if (data != nullptr) {
        *data = nullptr;
    }
    return E_NOTIMPL;
}
HRESULT PlayerControl::put_InlineData(IUnknown*) { return E_NOTIMPL; }
HRESULT PlayerControl::get_SeamlessTabbing(VARIANT_BOOL* seamless) { return not_modelled(seamless); }
HRESULT PlayerControl::put_SeamlessTabbing(VARIANT_BOOL) { return E_NOTIMPL; }
HRESULT PlayerControl::EnforceLocalSecurity() { return E_NOTIMPL; }
HRESULT PlayerControl::get_Profile(VARIANT_BOOL* profile) { return not_modelled(profile); }
HRESULT PlayerControl::put_Profile(VARIANT_BOOL) { return E_NOTIMPL; }
HRESULT PlayerControl::get_ProfileAddress(BSTR* address) { return not_modelled(address); }
HRESULT PlayerControl::put_ProfileAddress(BSTR) { return E_NOTIMPL; }
HRESULT PlayerControl::get_ProfilePort(long* port) {
    if (port != nullptr) {
        *port = 0;
    }
    return E_NOTIMPL;
}
HRESULT PlayerControl::put_ProfilePort(long) { return E_NOTIMPL; }
HRESULT PlayerControl::CallFunction(BSTR, BSTR* response) { return not_modelled(response); }
HRESULT PlayerControl::SetReturnValue(BSTR) { return E_NOTIMPL; }
HRESULT PlayerControl::DisableLocalSecurity() { return E_NOTIMPL; }
HRESULT PlayerControl::get_AllowNetworking(BSTR* networking) { return not_modelled(networking); }
HRESULT PlayerControl::put_AllowNetworking(BSTR) { return E_NOTIMPL; }
HRESULT PlayerControl::get_AllowFullScreen(BSTR* full_screen) { return not_modelled(full_screen); }
HRESULT PlayerControl::put_AllowFullScreen(BSTR) { return E_NOTIMPL; }

} // namespace tarpon::player
