// Functions of the system's window libraries that only a window needs, looked
// up when one is about to appear (system-library.cpp): no start that shows
// none pays for loading them, and the executable imports nothing more.
#pragma once
#include <windows.h>

// The function name of the system folder's library, or nullptr when either
// cannot be had. Never searched for beside the executable.
FARPROC systemLibraryFunction(const wchar_t* library, const char* name);
