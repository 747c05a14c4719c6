// The main program of the robustness suite's application. It says that it
// ran, so that a run whose child crashed can be told from one whose bootstrap
// did; "--sleep MS" keeps it running a while, so that starts overlap.
#include <windows.h>

#include <cwchar>

#include "app-marker.h"

int main() {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), robustness::APP_RAN, sizeof robustness::APP_RAN - 1, &written, nullptr);
  const wchar_t* sleep = std::wcsstr(GetCommandLineW(), L"--sleep ");
  if (sleep != nullptr) Sleep(static_cast<DWORD>(std::wcstoul(sleep + 8, nullptr, 10)));
  return 0;
}
