// Attaches to the starting console and makes the standard streams and handles
// usable for the bootstrap's reports and for the child.
#pragma once
#include <windows.h>

void setupConsole(void);

// Raises a console handle's mode (a handle that is no console is left alone).
void adjustConsoleMode(HANDLE handle, bool isInput);
