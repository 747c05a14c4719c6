#include "bootstrap/child.h"

// Placeholder until the launch lands: the sequence ends here with status 0.
HANDLE volatile childProcess = nullptr;
wchar_t childCommandLine[COMMAND_LINE_CAPACITY];

uint32_t launchChild(wchar_t**, const wchar_t*) { return 0; }
void buildChildCommandLine(wchar_t**, int) {}
BOOL WINAPI consoleCtrlHandler(DWORD) { return FALSE; }
