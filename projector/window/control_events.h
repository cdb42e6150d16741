// The mouse and the keyboard on the player control, acted on before the messages are dispatched:
// dragging the main window, its menu at the cursor, closing it, or keeping a message from the
// movie, as the interaction settings say (control_input.h decides).
#pragma once

#include "platform/windows.h"

namespace tarpon::projector {

class MainWindow;

// For a message aimed at the control's window or one of its children: does what the settings ask
// and answers true when the message must not reach the movie. Other messages are left alone.
bool handle_control_input(MainWindow& window, const MSG& message);

}  // namespace tarpon::projector
