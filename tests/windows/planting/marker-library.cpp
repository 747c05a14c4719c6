// A library that leaves a trace of having run: as it is loaded, it writes a
// file beside itself, named as it is with ".ran" added, holding the path of
// the program that loaded it. The planting test puts copies of it under the
// names of system libraries where a downloaded executable would find them.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t marker[MAX_PATH + 8];
  DWORD length = GetModuleFileNameW(self, marker, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  lstrcatW(marker, L".ran");
  char program[MAX_PATH];
  DWORD programLength = GetModuleFileNameA(nullptr, program, MAX_PATH);
  HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return TRUE;
  DWORD written = 0;
  WriteFile(file, program, programLength, &written, nullptr);
  CloseHandle(file);
  return TRUE;
}
