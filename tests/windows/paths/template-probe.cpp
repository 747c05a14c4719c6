// A GUI-subsystem program, built like the bootstrap, that expands the
// template given as its one argument and writes "1|<result>" (expanded) or
// "0|<result>" (failed) to standard output in UTF-8. Copied under other
// names, it shows what {PROGRAM}, {PROGRAM_BASE} and {PROGRAM_DIR} make of
// them.
#include <windows.h>
#include <stdlib.h>

#include "diag/limits.h"
#include "paths/template.h"

namespace {
wchar_t output[PATH_CAPACITY];
char reply[PATH_CAPACITY * 3 + 3];
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  if (__argc != 2) return 100;
  bool expanded = expandTemplatePath(output, __wargv[1], PATH_CAPACITY);
  reply[0] = expanded ? '1' : '0';
  reply[1] = '|';
  int length = WideCharToMultiByte(CP_UTF8, 0, output, -1, reply + 2, sizeof reply - 2, nullptr, nullptr);
  DWORD written = 0;
  if (length <= 0 || !WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), reply, (DWORD)(length + 1), &written, nullptr))
    return 101;
  return 0;
}
