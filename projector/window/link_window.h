// The link windows of the About box (window class "TARPONURL"): a line of text drawn underlined in
// a link colour, with the hand cursor, that opens its address through the shell when clicked. The
// window text is the text shown; the address is kept per window. They take no keyboard focus.
//
//   register_link_window_class(instance);        // once, at start-up
//   HWND link = GetDlgItem(dialog, id);          // a "TARPONURL" control of a dialog template
//   SetWindowTextA(link, "Our home page");
//   set_link(link, "http://example.com/", colour, visited_colour);
#pragma once

#include <string>

#include "platform/windows.h"

namespace tarpon::projector {

constexpr const char* link_window_class = "TARPONURL";

// Registers the class for `instance`; true when it is registered (already or now).
bool register_link_window_class(HINSTANCE instance);

// Gives a link window its address and colours: `colour` until the link has been followed,
// `visited_colour` after. False when `link` is not a link window.
bool set_link(HWND link, const std::string& address, COLORREF colour, COLORREF visited_colour);

// The address of a link window, or empty.
std::string link_address(HWND link);

// The address the shell is given for an e-mail address: "mailto:" and the address.
std::string mail_link_address(const std::string& mail_address);

}  // namespace tarpon::projector
