// The player menu the control shows on a right click, and the player commands it runs.
#include "player/control/player_menu.h"

#include "player/control/player_control.h"

namespace tarpon::player {

namespace {

constexpr int zoom_in_percent = 50;   // the view shows half as much: twice the size
constexpr int zoom_out_percent = 200; // the view shows twice as much

void add(HMENU menu, UINT id, const wchar_t* label, bool checked = false, bool enabled = true) {
    UINT flags = MF_STRING | (checked ? MF_CHECKED : MF_UNCHECKED) | (enabled ? MF_ENABLED : MF_GRAYED);
    AppendMenuW(menu, flags, id, label);
}

void separator(HMENU menu) { AppendMenuW(menu, MF_SEPARATOR, 0, nullptr); }

} // namespace

void PlayerControl::run_player_command(UINT command) {
    ControlHold hold(static_cast<IShockwaveFlash*>(this));
    switch (command) {
    case command_zoom_in:
        Zoom(zoom_in_percent);
        break;
    case command_zoom_out:
        Zoom(zoom_out_percent);
        break;
    case command_actual_size:
        m_zoom.reset();
        put_ScaleMode(static_cast<int>(swf::ScaleMode::NoScale));
        break;
    case command_show_all:
        m_zoom.reset();
        put_ScaleMode(static_cast<int>(swf::ScaleMode::ShowAll));
        break;
    case command_quality_low:
    case command_quality_medium:
    case command_quality_high: {
        static const wchar_t* const words[] = {L"low", L"medium", L"high"};
        BSTR word = SysAllocString(words[command - command_quality_low]);
        put_Quality2(word);
        SysFreeString(word);
        break;
    }
    case command_play: {
        VARIANT_BOOL playing = VARIANT_FALSE;
        get_Playing(&playing);
        put_Playing(playing != VARIANT_FALSE ? VARIANT_FALSE : VARIANT_TRUE);
        break;
    }
    case command_loop:
        put_Loop(m_loop ? VARIANT_FALSE : VARIANT_TRUE);
        break;
    case command_rewind:
        Rewind();
        break;
    case command_forward:
        Forward();
        break;
    case command_back:
        Back();
        break;
    case command_about:
        MessageBoxW(m_window,
                    L"Tarpon Player\r\n\r\nPlays simple SWF movies (versions 1 to 8): shapes, bitmaps, "
                    L"sprites, buttons and frame scripts.",
                    L"About Tarpon Player", MB_OK | MB_ICONINFORMATION);
        break;
    default:
        break;
    }
}

void PlayerControl::show_player_menu(POINT screen) {
    if (m_window == nullptr) {
        return;
    }
    ControlHold hold(static_cast<IShockwaveFlash*>(this));
    HMENU menu = CreatePopupMenu();
    HMENU quality = CreatePopupMenu();
    if (menu == nullptr || quality == nullptr) {
        if (menu != nullptr) {
            DestroyMenu(menu);
        }
        if (quality != nullptr) {
            DestroyMenu(quality);
        }
        return;
    }
    const bool loaded = m_player.loaded();
    VARIANT_BOOL playing = VARIANT_FALSE;
    get_Playing(&playing);

    add(menu, command_zoom_in, L"Zoom In", false, loaded);
    add(menu, command_zoom_out, L"Zoom Out", false, loaded && m_zoom.has_value());
    separator(menu);
    add(menu, command_actual_size, L"100%", m_scale_mode == static_cast<int>(swf::ScaleMode::NoScale));
    add(menu, command_show_all, L"Show All", m_scale_mode == static_cast<int>(swf::ScaleMode::ShowAll));
    separator(menu);
    add(quality, command_quality_low, L"Low", m_quality2 == L"low");
    add(quality, command_quality_medium, L"Medium", m_quality2 == L"medium");
    add(quality, command_quality_high, L"High", m_quality2 == L"high");
    AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(quality), L"Quality");
    separator(menu);
    add(menu, command_play, L"Play", loaded && playing != VARIANT_FALSE, loaded);
    add(menu, command_loop, L"Loop", m_loop, loaded);
    separator(menu);
    add(menu, command_rewind, L"Rewind", false, loaded);
    add(menu, command_forward, L"Forward", false, loaded);
    add(menu, command_back, L"Back", false, loaded);
    separator(menu);
    add(menu, command_about, L"About Tarpon Player...");

    UINT chosen = static_cast<UINT>(TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                     screen.x, screen.y, m_window, nullptr));
    DestroyMenu(menu); // destroys the Quality pop-up with it
    if (chosen != 0) {
        run_player_command(chosen);
    }
}

} // namespace tarpon::player
