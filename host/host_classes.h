// The host classes every host registers: quill.exe and the projector pass this same list to the
// engine, so a script finds the same classes in both.
#pragma once

#include <span>

#include "engine/runtime/class_slots.h"

namespace tarpon::host {

// Each class with its place in the engine's registration order. Empty where no host class is built
// (the classes of the system are Windows-only).
std::span<const quill::ClassRegistration> host_classes();

}  // namespace tarpon::host
