// The one include of <windows.h> for everything that talks to Windows: without the rarely used
// parts and without the min/max macros that clash with the standard library.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
