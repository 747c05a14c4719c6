// Lets the bootstrap, a GUI program, behave like a console program when it
// was started from one: attaches to the starting process's console, gives the
// runtime's standard streams descriptors and the process's standard handles
// values that the child then inherits. Nothing here is reported: every
// failure is absorbed and the start-up goes on.
#pragma once
#include <windows.h>

void setupConsole(void);

// Raises a console handle's mode, never clearing a bit: the virtual-terminal
// bits are asked for first, the plain ones if those are refused. A handle
// that is no console is left alone.
void adjustConsoleMode(HANDLE handle, bool isInput);
