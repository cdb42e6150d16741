// The ids of the projector executable's own resources (tarpon.rc) and of their menu items. The
// resource compiler reads this file too, so it holds only #define lines.
#ifndef TARPON_PROJECTOR_RESOURCE_IDS_H
#define TARPON_PROJECTOR_RESOURCE_IDS_H

#define TARPON_ICON_MAIN 128
#define TARPON_ICON_TRAY 198
#define TARPON_MENU_POPUP 130
#define TARPON_MENU_TRAY 133
#define TARPON_ACCELERATORS 128

// The player pop-up's commands.
#define TARPON_CMD_REWIND 20025
#define TARPON_CMD_ZOOM_OUT 20030
#define TARPON_CMD_SHOW_ALL 20034
#define TARPON_CMD_QUALITY_LOW 20035
#define TARPON_CMD_QUALITY_MEDIUM 20036
#define TARPON_CMD_QUALITY_HIGH 20037
#define TARPON_CMD_PLAY 20039
#define TARPON_CMD_FORWARD 20040
#define TARPON_CMD_BACK 20041
#define TARPON_CMD_ZOOM_IN 20042
#define TARPON_CMD_LOOP 20043
#define TARPON_CMD_ABOUT_PLAYER 20044
#define TARPON_CMD_ONE_TO_ONE 20046

// The projector's own commands.
#define TARPON_CMD_OPTIONS 32777
#define TARPON_CMD_HELP 32778
#define TARPON_CMD_ABOUT 32780
#define TARPON_CMD_TRAY_CLOSE 8
// The open-movie command (the framework's File Open id) and the two items never shown.
#define TARPON_CMD_OPEN_MOVIE 0xE101
#define TARPON_CMD_HIDDEN_1 32781
#define TARPON_CMD_HIDDEN_2 32782

#ifdef __cplusplus
namespace tarpon::projector::resource_id {
constexpr int main_icon = TARPON_ICON_MAIN;
constexpr int tray_icon = TARPON_ICON_TRAY;
constexpr int popup_menu = TARPON_MENU_POPUP;
constexpr int tray_menu = TARPON_MENU_TRAY;
constexpr int accelerators = TARPON_ACCELERATORS;
constexpr unsigned tray_close = TARPON_CMD_TRAY_CLOSE;
constexpr unsigned open_movie = TARPON_CMD_OPEN_MOVIE;
}  // namespace tarpon::projector::resource_id
#endif

#endif
