#include "bootstrap/console.h"

#include <io.h>
#include <stdio.h>

// Without a console to attach to: the report streams become unbuffered and
// each standard handle is set to the handle behind its stream, which the
// child then inherits.
void setupConsole(void) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  setvbuf(stderr, nullptr, _IONBF, 0);
  SetStdHandle(STD_OUTPUT_HANDLE, (HANDLE)_get_osfhandle(_fileno(stdout)));
  SetStdHandle(STD_ERROR_HANDLE, (HANDLE)_get_osfhandle(_fileno(stderr)));
  SetStdHandle(STD_INPUT_HANDLE, (HANDLE)_get_osfhandle(_fileno(stdin)));
}

void adjustConsoleMode(HANDLE handle, bool isInput) {
  DWORD mode = 0;
  if (!GetConsoleMode(handle, &mode)) return;
  DWORD wanted = isInput ? (ENABLE_PROCESSED_INPUT | ENABLE_VIRTUAL_TERMINAL_INPUT)
                         : (ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT |
                            ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  DWORD fallback = isInput ? ENABLE_PROCESSED_INPUT
                           : (ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT);
  if (!SetConsoleMode(handle, mode | wanted)) SetConsoleMode(handle, mode | fallback);
}
