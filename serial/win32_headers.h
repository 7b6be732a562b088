#pragma once

// <windows.h> for the Windows files of the serial code, without the parts
// that clash with the standard library (the min and max macros) or that the
// serial code never uses.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
