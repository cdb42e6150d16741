#include "host/host_classes.h"

#include "host/data/data_classes.h"

#ifdef _WIN32
#include "host/net/inet_classes.h"
#include "host/net/net_classes.h"
#include "host/system/system_classes.h"
#include "host/ui/message_loop.h"
#include "host/ui/ui_classes.h"
#endif

namespace tarpon::host {

namespace {

using quill::ClassRegistration;
using quill::ClassSlot;

const ClassRegistration registrations[] = {
#ifdef _WIN32
    {ClassSlot::FolderAndFile, register_folder_class},
    {ClassSlot::Drive, register_drive_class},
#endif
    {ClassSlot::StreamAndFileStream, register_file_stream_class},
    {ClassSlot::StringStream, register_string_stream_class},
#ifdef _WIN32
    {ClassSlot::ActiveXObject, register_activex_object_class},
    {ClassSlot::Enumerator, register_enumerator_class},
    {ClassSlot::RegKey, register_reg_key_class},
    {ClassSlot::RegValue, register_reg_value_class},
    {ClassSlot::Ini, register_ini_class},
    {ClassSlot::Dialogs, register_dialogs_class},
    {ClassSlot::FontObject, register_font_object_class},
    {ClassSlot::Shell, register_shell_class},
    {ClassSlot::Shortcut, register_shortcut_class},
    {ClassSlot::URLShortcut, register_url_shortcut_class},
    {ClassSlot::MCI, register_mci_class},
    {ClassSlot::FlashPlayer, register_flash_player_class},
    {ClassSlot::MovieClip, register_movie_clip_class},
    {ClassSlot::ApplicationGlobals, register_message_loop_functions},
    {ClassSlot::Window, register_window_class},
    {ClassSlot::Mail, register_mail_class},
    {ClassSlot::SendMail, register_send_mail_class},
    {ClassSlot::RecvMail, register_recv_mail_class},
    {ClassSlot::Inet, register_inet_class},
    {ClassSlot::IPConfig, register_ip_config_class},
    {ClassSlot::SysInfo, register_sys_info_class},
    {ClassSlot::Socket, register_socket_class},
#endif
    // Keeps the array non-empty where no class is built.
    {ClassSlot::Count, nullptr},
};

}  // namespace

std::span<const ClassRegistration> host_classes() {
    return std::span<const ClassRegistration>(registrations, std::size(registrations) - 1);
}

}  // namespace tarpon::host
