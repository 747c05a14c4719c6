// The benchmark application's main program, the child that a start ends
// with. It ends at once, so a start is measured from launch to the child's
// end. With ONEFILE_BENCH_HOLD naming a file it creates that file and keeps
// running for half a second, so that the memory its parent holds while a
// child runs can be read from outside.
#include <windows.h>

namespace {
constexpr DWORD HOLD_MILLISECONDS = 500;
}

int wmain() {
  wchar_t signalPath[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"ONEFILE_BENCH_HOLD", signalPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 0;
  HANDLE signal = CreateFileW(signalPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (signal == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(signal);
  Sleep(HOLD_MILLISECONDS);
  return 0;
}
