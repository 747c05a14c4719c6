// A progress window whose timer cannot be set, asked to go while its thread
// is still making it, before the window's handle is published: the run's
// request must still end it. Ends with 0 when no progress window is left
// once closeProgressWindow has returned, 1 when one stayed.
#include <windows.h>

#include "bootstrap/progress-window-seams.h"
#include "bootstrap/progress-window.h"
#include "diag/system-calls.h"
#include "diag/system-libraries.h"
#include "payload/file-content.h"
#include "resources/embedded.h"

namespace {

decltype(&ShowWindow) realShowWindow;

UINT_PTR WINAPI refuseTimer(HWND, UINT_PTR, UINT, TIMERPROC) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return 0;
}

// Holds the window's thread between making the window and publishing it,
// while the run asks the window to go.
BOOL WINAPI showLate(HWND window, int how) {
  Sleep(500);
  return realShowWindow(window, how);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  onefileApplicationName = L"Progress Probe";
  loadSystemLibraries(&systemCalls, true);  // so that the rows replaced here stay replaced
  systemCalls.setTimer = refuseTimer;
  realShowWindow = systemCalls.showWindow;
  systemCalls.showWindow = showLate;
  progressWindowDelayMs = 0;
  watchUnpacking();
  betweenContentPieces();  // the window's thread starts
  closeProgressWindow();
  return FindWindowW(L"OnefileProgress", nullptr) == nullptr ? 0 : 1;
}
