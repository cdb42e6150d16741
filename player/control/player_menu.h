// The commands of the player menu. The ids are the ones containers use for the same commands, so a
// container that forwards a menu choice as WM_COMMAND to the control's window reaches them too.
#pragma once

namespace tarpon::player {

enum PlayerCommand : unsigned {
    command_rewind = 20025,
    command_zoom_out = 20030,
    command_show_all = 20034,
    command_quality_low = 20035,
    command_quality_medium = 20036,
    command_quality_high = 20037,
    command_play = 20039,
    command_forward = 20040,
    command_back = 20041,
    command_zoom_in = 20042,
    command_loop = 20043,
    command_about = 20044,
    command_actual_size = 20046,
};

} // namespace tarpon::player
