// tarpon.exe: one presentation, carried in the executable's own resources.
#include "platform/windows.h"
#include "projector/app/application.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return tarpon::projector::run_projector(instance);
}
