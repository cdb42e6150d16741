// The class, interface and event-interface ids of the player control.
#pragma once

#include "platform/windows.h"

#include <guiddef.h>

namespace tarpon::player {

// The control's class id: containers create the control by it.
extern const CLSID clsid_shockwave_flash;
// The dual automation interface (shockwave_flash.h).
extern const IID iid_shockwave_flash;
// The event dispinterface the control fires on its connection point.
extern const IID diid_shockwave_flash_events;

} // namespace tarpon::player
