// What every host class file starts from: the class declaration and argument reader of the engine
// (one style for built-in and host classes alike), the text conversions at the boundary and the
// system error text.
#pragma once

#include "engine/values/arguments.h"
#include "engine/values/class_declaration.h"
#include "engine/values/value.h"
#include "engine/runtime/class_slots.h"
#include "host/common/text.h"

namespace tarpon::host {

using namespace quill;

}  // namespace tarpon::host
