// For tests only: the routine that each closing thread runs, so that a test
// program that replaces the thread start can tell these threads from others.
#pragma once
#include <windows.h>

DWORD WINAPI closeQueuedFiles(void*);
