// Reads a process's real windows back: for tests that run on a display
// (run-on-display.sh), where a program shows a message box or a window.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace harness {

std::wstring windowText(HWND window);

// A visible top-level window of the process, of windowClass when that is
// given; nullptr when it has none.
HWND visibleWindowOf(DWORD processId, const wchar_t* windowClass = nullptr);

// Waits up to timeoutMs for such a window; nullptr when none came, or the
// process ended first.
HWND waitForWindowOf(HANDLE process, const wchar_t* windowClass, DWORD timeoutMs);

struct ChildWindow {
  std::wstring windowClass;
  std::wstring text;
  int id;
};
std::vector<ChildWindow> childWindowsOf(HWND window);

}  // namespace harness
