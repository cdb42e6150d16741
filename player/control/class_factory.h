// The control's class factory, with plain and licensed creation.
#pragma once

#include "platform/windows.h"

#include <objbase.h>

namespace tarpon::player {

// A new factory, answered as interface `iid` (IUnknown, IClassFactory or IClassFactory2).
HRESULT create_class_factory(REFIID iid, void** object);

} // namespace tarpon::player
