#include "projector/window/settings_apply.h"

#include "projector/window/main_window.h"

namespace tarpon::projector {

void reapply_settings(MainWindow&) {}

}  // namespace tarpon::projector
