// The projector's application functions: native globals that give scripts the projector itself
// (its main window, folders, movie list, window shape, profile, message loop, carried scripts and
// controls placed over the movie). They read the process-wide ProjectorState.
#pragma once

#include <span>

#include "engine/runtime/class_slots.h"

namespace quill {
struct ScriptEngine;
}

namespace tarpon::projector {

// getMainWnd, getAppDir, getMovies, setWindowless, readProfile, writeProfile, processMsg,
// getAdditionalFile, getExeName, invoke, in that order.
void register_application_functions(quill::ScriptEngine* engine);
// createControl, a step of its own.
void register_create_control(quill::ScriptEngine* engine);
// Destroys the controls scripts made with createControl (with the main window).
void destroy_script_controls();

// The projector's registration list: the host classes of quill.exe with the application functions
// in place of processMsg alone, and createControl.
std::span<const quill::ClassRegistration> projector_classes();

}  // namespace tarpon::projector
