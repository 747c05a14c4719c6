// The main program of the progress window's tests: a windowed program with a
// window of its own, titled PROGRESS_APP_WINDOW, that stays until it is closed
// (or for a minute). With "--quick" it ends at once, without a window.
#include <windows.h>

#include <cwchar>

#include "progress-app.h"

namespace {

LRESULT CALLBACK handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  if (std::wcsstr(GetCommandLineW(), L"--quick") != nullptr) return 0;
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = handleMessage;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  windowClass.lpszClassName = L"ProgressTestMain";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowW(L"ProgressTestMain", PROGRESS_APP_WINDOW, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                              300, 200, nullptr, nullptr, instance, nullptr);
  SetTimer(window, 1, 60000, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER) DestroyWindow(window);
    DispatchMessageW(&message);
  }
  return 0;
}
