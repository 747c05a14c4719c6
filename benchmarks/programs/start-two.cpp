// Wine's cost of starting two programs, the floor under every start: this
// program starts the child named by its argument, the way the bootstrap does
// (its own process ID in TRAVIK_ONEFILE_PARENT), waits for it and ends with
// its exit code. Built a second time as bench-start-two-shell, which first
// splits its command line with CommandLineToArgvW as every start of the
// bootstrap does: the difference is what loading shell32 costs under Wine.
//
//   start-two CHILD.exe
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
#ifdef BENCH_LOADS_SHELL
  int count = 0;
  LocalFree(CommandLineToArgvW(GetCommandLineW(), &count));
#endif
  wchar_t ownId[16];
  swprintf(ownId, 16, L"%lu", GetCurrentProcessId());
  SetEnvironmentVariableW(L"TRAVIK_ONEFILE_PARENT", ownId);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  if (!CreateProcessW(argv[1], nullptr, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) return 3;
  CloseHandle(child.hThread);
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(child.hProcess, &status);
  CloseHandle(child.hProcess);
  return (int)status;
}
