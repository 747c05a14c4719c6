// For tests only: the clock and the pause that held-files.cpp waits with, so
// that a test can let its patience run out without waiting for it.
#pragma once
#include <windows.h>

struct HeldFileClock {
  ULONGLONG(WINAPI* now)(void);
  void(WINAPI* pause)(DWORD milliseconds);
};

// The system's GetTickCount64 and Sleep unless a test replaced them.
extern HeldFileClock heldFileClock;
