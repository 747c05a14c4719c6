#include "on-screen.h"

namespace harness {
namespace {

constexpr DWORD POLL_MS = 20;

struct Search {
  DWORD processId;
  const wchar_t* windowClass;
  HWND found;
};

std::wstring classOf(HWND window) {
  wchar_t name[256];
  int length = GetClassNameW(window, name, 256);
  return std::wstring(name, length > 0 ? length : 0);
}

BOOL CALLBACK matchWindow(HWND window, LPARAM argument) {
  Search* search = reinterpret_cast<Search*>(argument);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
  if (search->windowClass != nullptr && classOf(window) != search->windowClass) return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK addChild(HWND child, LPARAM argument) {
  reinterpret_cast<std::vector<ChildWindow>*>(argument)->push_back(
      ChildWindow{classOf(child), windowText(child), GetDlgCtrlID(child)});
  return TRUE;
}

}  // namespace

std::wstring windowText(HWND window) {
  wchar_t text[4096];
  int length = GetWindowTextW(window, text, 4096);
  return std::wstring(text, length > 0 ? length : 0);
}

HWND visibleWindowOf(DWORD processId, const wchar_t* windowClass) {
  Search search = {processId, windowClass, nullptr};
  EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND waitForWindowOf(HANDLE process, const wchar_t* windowClass, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += POLL_MS) {
    HWND window = visibleWindowOf(GetProcessId(process), windowClass);
    if (window != nullptr) return window;
    if (WaitForSingleObject(process, POLL_MS) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

std::vector<ChildWindow> childWindowsOf(HWND window) {
  std::vector<ChildWindow> children;
  EnumChildWindows(window, addChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

}  // namespace harness
