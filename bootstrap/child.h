// Starts the unpacked program, waits for it and supervises it on console
// control events.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "diag/limits.h"

// The running child's process handle, null while there is none. Shared with
// consoleCtrlHandler, which runs on a thread of the system's.
extern HANDLE volatile childProcess;

// The child's command line as buildChildCommandLine leaves it.
extern wchar_t childCommandLine[COMMAND_LINE_CAPACITY];

// Starts firstFile with the bootstrap's arguments and returns its exit code.
uint32_t launchChild(wchar_t** runtimeArguments, const wchar_t* firstFile);

// Quotes arguments[0..count) into childCommandLine.
void buildChildCommandLine(wchar_t** arguments, int count);

BOOL WINAPI consoleCtrlHandler(DWORD eventType);
