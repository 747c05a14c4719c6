// For tests only: the two console-mode calls adjustConsoleMode makes, so that
// a test can give it a console whose answers it controls (for example one that
// refuses the virtual-terminal bits, which Wine's console never does).
#pragma once
#include <windows.h>

struct ConsoleModeCalls {
  BOOL(WINAPI* get)(HANDLE handle, LPDWORD mode);
  BOOL(WINAPI* set)(HANDLE handle, DWORD mode);
};

// The system's GetConsoleMode and SetConsoleMode unless a test replaced them.
extern ConsoleModeCalls consoleModeCalls;
