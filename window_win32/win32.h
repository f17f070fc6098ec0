#pragma once
// <windows.h> as the Win32 view takes it: the ANSI functions (texts and paths are the program's
// own code page, as the platform layer's "A" calls give them), no min and max macros.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#undef UNICODE
#undef _UNICODE
#include <windows.h>
