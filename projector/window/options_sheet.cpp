#include "projector/window/options_sheet.h"

namespace tarpon::projector {

bool run_options_sheet(HWND, appdata::Settings&) {
    return false;
}

}  // namespace tarpon::projector
