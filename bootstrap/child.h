// Starts the unpacked program, waits for it and supervises it on console
// control events.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "diag/limits.h"

// A handle to the running child, null while there is none. Shared with
// consoleCtrlHandler, which runs on a thread of the system's: whichever thread
// takes it out (an atomic exchange with null) owns it and closes it.
extern HANDLE volatile childProcess;

// When set, called with the child's process ID once the child exists and
// before it runs: the run's window hands the foreground over and goes.
extern void (*beforeChildRuns)(DWORD processId);

// Starts firstFile with the bootstrap's arguments and returns its exit code.
uint32_t launchChild(wchar_t** runtimeArguments, const wchar_t* firstFile);

// On Ctrl+C, Ctrl+Break, close, logoff and shutdown: gives a running child
// 5 seconds to end, then terminates it. Always FALSE, so the event goes on to
// the system's handling.
BOOL WINAPI consoleCtrlHandler(DWORD eventType);
