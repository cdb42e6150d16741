// The automation interface: the movie, its loading and ready state, playback and the display
// properties. The container's calls change state and queue the movie's actions; they never run
// movie actions themselves.
#include "player/control/player_control.h"

#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "player/control/movie_file.h"
#include "player/control/player_text.h"

namespace tarpon::player {

namespace {

VARIANT_BOOL variant_bool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

// The Quality2 words and the Quality number each one stands for (medium and best draw as high).
struct QualityName {
    const wchar_t* name;
    int quality;
};
const QualityName quality_names[] = {{L"low", 0},     {L"medium", 1},   {L"high", 1},
                                     {L"autolow", 2}, {L"autohigh", 3}, {L"best", 1}};
const wchar_t* const quality_words[] = {L"low", L"high", L"autolow", L"autohigh"};

// The zoom rectangle is never smaller than this many twips (one pixel) on a side, and a zoom out
// never makes it more than this many times the movie.
constexpr double min_zoom_side = 20;
constexpr double max_zoom_out = 64;

// Schemes a movie may open through the shell. A movie is input: it must not start programs or
// open local files by naming them.
bool may_open(const std::wstring& url) {
    static const wchar_t* const schemes[] = {L"http:", L"https:", L"mailto:", L"ftp:"};
    for (const wchar_t* scheme : schemes) {
        std::wstring_view prefix(scheme);
        if (url.size() > prefix.size() &&
            same_ascii_text(std::wstring_view(url).substr(0, prefix.size()), prefix)) {
            return true;
        }
    }
    return false;
}

} // namespace

// --- Loading ---------------------------------------------------------------------------------

HRESULT PlayerControl::load_movie(const std::wstring& location) {
    ControlHold hold(static_cast<IShockwaveFlash*>(this));
    const unsigned serial = ++m_load_serial;
    m_movie = location;
    m_zoom.reset();
    if (location.empty()) {
        m_player.unload();
        m_ready_state = ready_state_complete;
        update_timer();
        invalidate();
        return S_OK;
    }
    m_ready_state = ready_state_loading;
    fire_ready_state(ready_state_loading);
    if (serial != m_load_serial) {
        return S_OK; // a handler of the event set another movie, which is in place now
    }

    HRESULT status = S_OK;
    try {
        std::vector<uint8_t> bytes;
        status = read_movie_file(movie_path(location), bytes);
        if (SUCCEEDED(status) && !m_player.load(bytes)) {
            status = E_FAIL;
        }
    } catch (const std::bad_alloc&) {
        status = E_OUTOFMEMORY;
    }
    if (FAILED(status)) {
        m_player.unload();
    } else {
        m_player.set_loop(m_loop);
        m_player.set_playing(m_playing);
        m_player.set_url(movie_text(location.c_str(), location.size()));
        swf::Rect frame = m_player.frame_rect();
        LONG width = std::max(0, frame.x_max - frame.x_min) / 20;
        LONG height = std::max(0, frame.y_max - frame.y_min) / 20;
        if (width > 0 && height > 0) {
            m_extent = {MulDiv(width, 2540, 96), MulDiv(height, 2540, 96)};
        }
        VARIANT percent;
        percent.vt = VT_I4;
        percent.lVal = 100;
        if (m_frozen_events == 0) {
            m_events.fire(dispid_on_progress, &percent, 1);
        }
        schedule_actions();
    }
    m_ready_state = ready_state_complete;
    fire_ready_state(ready_state_complete);
    update_timer();
    invalidate();
    return status;
}

void PlayerControl::fire_ready_state(long state) {
    if (m_frozen_events != 0) {
        return;
    }
    VARIANT value;
    value.vt = VT_I4;
    value.lVal = state;
    m_events.fire(dispid_on_ready_state_change, &value, 1);
}

void PlayerControl::fire_fs_command(const std::string& command, const std::string& argument) {
    if (m_frozen_events != 0) {
        return;
    }
    VARIANT values[2];
    values[0].vt = VT_BSTR;
    values[0].bstrVal = new_bstr(command);
    values[1].vt = VT_BSTR;
    values[1].bstrVal = new_bstr(argument);
    m_events.fire(dispid_fs_command, values, 2);
    VariantClear(&values[0]);
    VariantClear(&values[1]);
}

void PlayerControl::open_url(const std::string& url) {
    std::wstring wide = wide_text(url);
    if (may_open(wide)) {
        ShellExecuteW(m_window, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
}

void PlayerControl::timeline_changed() {
    schedule_actions();
    invalidate();
}

HRESULT PlayerControl::get_Movie(BSTR* path) {
    if (path == nullptr) {
        return E_POINTER;
    }
    *path = new_bstr(m_movie);
    return *path != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT PlayerControl::put_Movie(BSTR path) {
    std::wstring location = path != nullptr ? std::wstring(path, SysStringLen(path)) : std::wstring();
    if (m_action_depth != 0) {
        // Asked for by an event handler while the movie's actions run: the movie in hand is
        // replaced once its actions have returned.
        m_movie = location;
        m_pending_movie = location;
        return S_OK;
    }
    return load_movie(location);
}

HRESULT PlayerControl::LoadMovie(int layer, BSTR url) {
    if (layer != 0) {
        return E_NOTIMPL; // only the movie itself, no movies on other levels
    }
    return put_Movie(url);
}

HRESULT PlayerControl::get_ReadyState(long* state) {
    if (state == nullptr) {
        return E_POINTER;
    }
    *state = m_ready_state;
    return S_OK;
}

HRESULT PlayerControl::get_TotalFrames(long* frames) {
    if (frames == nullptr) {
        return E_POINTER;
    }
    *frames = m_player.loaded() ? m_player.frame_count() : 0;
    return S_OK;
}

HRESULT PlayerControl::PercentLoaded(long* percent) {
    if (percent == nullptr) {
        return E_POINTER;
    }
    // A movie is read whole; one whose tags break off has loaded all it ever will.
    *percent = m_player.loaded() ? 100 : 0;
    return S_OK;
}

HRESULT PlayerControl::FrameLoaded(long frame, VARIANT_BOOL* loaded) {
    if (loaded == nullptr) {
        return E_POINTER;
    }
    *loaded = variant_bool(m_player.loaded() && frame >= 0 && frame < m_player.frames_loaded());
    return S_OK;
}

HRESULT PlayerControl::FlashVersion(long* version) {
    if (version == nullptr) {
        return E_POINTER;
    }
    *version = 0x00080000; // plays movies up to version 8
    return S_OK;
}

// --- Playback ---------------------------------------------------------------------------------

HRESULT PlayerControl::get_Playing(VARIANT_BOOL* playing) {
    if (playing == nullptr) {
        return E_POINTER;
    }
    *playing = variant_bool(m_player.loaded() ? m_player.playing() : m_playing);
    return S_OK;
}

HRESULT PlayerControl::put_Playing(VARIANT_BOOL playing) {
    m_playing = playing != VARIANT_FALSE;
    if (m_player.loaded()) {
        m_player.set_playing(m_playing);
        update_timer();
    }
    return S_OK;
}

HRESULT PlayerControl::IsPlaying(VARIANT_BOOL* playing) { return get_Playing(playing); }

HRESULT PlayerControl::get_Loop(VARIANT_BOOL* loop) {
    if (loop == nullptr) {
        return E_POINTER;
    }
    *loop = variant_bool(m_player.loaded() ? m_player.loop() : m_loop);
    return S_OK;
}

HRESULT PlayerControl::put_Loop(VARIANT_BOOL loop) {
    m_loop = loop != VARIANT_FALSE;
    if (m_player.loaded()) {
        m_player.set_loop(m_loop);
    }
    return S_OK;
}

HRESULT PlayerControl::Play() { return put_Playing(VARIANT_TRUE); }

HRESULT PlayerControl::Stop() { return put_Playing(VARIANT_FALSE); }

HRESULT PlayerControl::StopPlay() { return Stop(); }

HRESULT PlayerControl::Back() {
    if (m_player.loaded()) {
        m_player.previous_frame();
        timeline_changed();
    }
    return S_OK;
}

HRESULT PlayerControl::Forward() {
    if (m_player.loaded()) {
        m_player.next_frame();
        timeline_changed();
    }
    return S_OK;
}

HRESULT PlayerControl::Rewind() {
    if (m_player.loaded()) {
        m_player.rewind();
        timeline_changed();
    }
    return S_OK;
}

HRESULT PlayerControl::GotoFrame(long frame) {
    if (frame < 0) {
        return E_INVALIDARG;
    }
    if (m_player.loaded()) {
        m_player.goto_frame(static_cast<int>(std::min<long>(frame, m_player.frame_count())));
        timeline_changed();
    }
    return S_OK;
}

HRESULT PlayerControl::CurrentFrame(long* frame) {
    if (frame == nullptr) {
        return E_POINTER;
    }
    *frame = m_player.loaded() ? m_player.current_frame() : 0;
    return S_OK;
}

HRESULT PlayerControl::get_FrameNum(long* frame) { return CurrentFrame(frame); }

HRESULT PlayerControl::put_FrameNum(long frame) { return GotoFrame(frame); }

// --- Display ----------------------------------------------------------------------------------

HRESULT PlayerControl::get_Quality(int* quality) {
    if (quality == nullptr) {
        return E_POINTER;
    }
    *quality = m_quality;
    return S_OK;
}

HRESULT PlayerControl::put_Quality(int quality) {
    if (quality < 0 || quality > 3) {
        return E_INVALIDARG;
    }
    m_quality = quality;
    m_quality2 = quality_words[quality];
    return S_OK;
}

HRESULT PlayerControl::get_Quality2(BSTR* quality) {
    if (quality == nullptr) {
        return E_POINTER;
    }
    *quality = new_bstr(m_quality2);
    return *quality != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT PlayerControl::put_Quality2(BSTR quality) {
    std::wstring_view word =
        quality != nullptr ? std::wstring_view(quality, SysStringLen(quality)) : std::wstring_view();
    for (const QualityName& name : quality_names) {
        if (same_ascii_text(word, name.name)) {
            m_quality = name.quality;
            m_quality2 = name.name;
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT PlayerControl::get_ScaleMode(int* mode) {
    if (mode == nullptr) {
        return E_POINTER;
    }
    *mode = m_scale_mode;
    return S_OK;
}

HRESULT PlayerControl::put_ScaleMode(int mode) {
    if (mode < 0 || mode > 3) {
        return E_INVALIDARG;
    }
    m_scale_mode = mode;
    invalidate();
    return S_OK;
}

HRESULT PlayerControl::get_AlignMode(int* mode) {
    if (mode == nullptr) {
        return E_POINTER;
    }
    *mode = m_align_mode;
    return S_OK;
}

HRESULT PlayerControl::put_AlignMode(int mode) {
    if (mode < 0 || mode > 15) {
        return E_INVALIDARG;
    }
    m_align_mode = mode;
    invalidate();
    return S_OK;
}

HRESULT PlayerControl::get_BackgroundColor(long* color) {
    if (color == nullptr) {
        return E_POINTER;
    }
    *color = m_background;
    return S_OK;
}

HRESULT PlayerControl::put_BackgroundColor(long color) {
    // -1 (or any negative value) gives the movie its own colour back; otherwise 0xRRGGBB.
    m_background = color < 0 ? -1 : static_cast<int32_t>(color & 0xFFFFFF);
    invalidate();
    return S_OK;
}

HRESULT PlayerControl::get_Menu(VARIANT_BOOL* menu) {
    if (menu == nullptr) {
        return E_POINTER;
    }
    *menu = variant_bool(m_menu);
    return S_OK;
}

HRESULT PlayerControl::put_Menu(VARIANT_BOOL menu) {
    m_menu = menu != VARIANT_FALSE;
    return S_OK;
}

// --- Zoom and pan -----------------------------------------------------------------------------

swf::Rect PlayerControl::visible_rect() const { return m_zoom ? *m_zoom : m_player.frame_rect(); }

HRESULT PlayerControl::SetZoomRect(long left, long top, long right, long bottom) {
    if (right <= left || bottom <= top) {
        m_zoom.reset();
    } else {
        m_zoom = swf::Rect{static_cast<int32_t>(left), static_cast<int32_t>(right), static_cast<int32_t>(top),
                           static_cast<int32_t>(bottom)};
    }
    invalidate();
    return S_OK;
}

HRESULT PlayerControl::Zoom(int factor) {
    if (factor < 0) {
        return E_INVALIDARG;
    }
    if (factor == 0 || !m_player.loaded()) {
        m_zoom.reset();
        invalidate();
        return S_OK;
    }
    // The view keeps its centre; factor is the new size in percent of the current one.
    const swf::Rect frame = m_player.frame_rect();
    const swf::Rect now = visible_rect();
    const double scale = factor / 100.0;
    const double frame_width = std::max(1, frame.x_max - frame.x_min);
    const double frame_height = std::max(1, frame.y_max - frame.y_min);
    double width = std::clamp((now.x_max - now.x_min) * scale, min_zoom_side, frame_width * max_zoom_out);
    double height = std::clamp((now.y_max - now.y_min) * scale, min_zoom_side, frame_height * max_zoom_out);
    if (width >= frame_width && height >= frame_height) {
        m_zoom.reset(); // back to the whole movie
    } else {
        double cx = (now.x_min + now.x_max) / 2.0;
        double cy = (now.y_min + now.y_max) / 2.0;
        m_zoom = swf::Rect{static_cast<int32_t>(std::lround(cx - width / 2)),
                           static_cast<int32_t>(std::lround(cx + width / 2)),
                           static_cast<int32_t>(std::lround(cy - height / 2)),
                           static_cast<int32_t>(std::lround(cy + height / 2))};
    }
    invalidate();
    return S_OK;
}

HRESULT PlayerControl::Pan(long x, long y, int mode) {
    if (mode != 0 && mode != 1) {
        return E_INVALIDARG;
    }
    if (!m_zoom || !m_player.loaded()) {
        return S_OK; // the whole movie is in view: nothing to pan
    }
    swf::Rect zoom = *m_zoom;
    const double width = zoom.x_max - zoom.x_min;
    const double height = zoom.y_max - zoom.y_min;
    double dx = 0;
    double dy = 0;
    if (mode == 1) {
        dx = width * x / 100.0;
        dy = height * y / 100.0;
    } else {
        RECT client{};
        if (m_window != nullptr) {
            GetClientRect(m_window, &client);
        }
        swf::Matrix view = view_for(std::max<LONG>(1, client.right), std::max<LONG>(1, client.bottom));
        dx = view.a != 0 ? x / view.a : 0;
        dy = view.d != 0 ? y / view.d : 0;
    }
    // The view stays over the movie.
    const swf::Rect frame = m_player.frame_rect();
    double left =
        std::clamp(zoom.x_min + dx, double(frame.x_min), std::max<double>(frame.x_min, frame.x_max - width));
    double top =
        std::clamp(zoom.y_min + dy, double(frame.y_min), std::max<double>(frame.y_min, frame.y_max - height));
    m_zoom =
        swf::Rect{static_cast<int32_t>(std::lround(left)), static_cast<int32_t>(std::lround(left + width)),
                  static_cast<int32_t>(std::lround(top)), static_cast<int32_t>(std::lround(top + height))};
    invalidate();
    return S_OK;
}

} // namespace tarpon::player
