// The main program of the test application. Started as the bootstrap's child
// (no arguments) it ends at once; with "--hold" it keeps running, so that a
// test can unpack again while its executable is in use.
#include <windows.h>

#include <cwchar>

int main() {
  if (std::wcsstr(GetCommandLineW(), L"--hold") == nullptr) return 0;
  Sleep(60000);  // the test ends it sooner; this only bounds a forgotten one
  return 0;
}
