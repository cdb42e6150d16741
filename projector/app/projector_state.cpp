#include "projector/app/projector_state.h"

namespace tarpon::projector {

ProjectorState& projector_state() {
    static ProjectorState state;
    return state;
}

}  // namespace tarpon::projector
