// Uses Wine's desktop for as long as a test run lasts, so that the desktop
// process the runner starts stays (scripts/wine-session.sh). The runner's
// wineserver ends it with the run.
#include <windows.h>

int wmain(void) {
  GetDesktopWindow();
  Sleep(INFINITE);
  return 0;
}
