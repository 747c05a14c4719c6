// A GUI-subsystem program, built like the bootstrap, that raises one report
// chosen on its command line, so a test can see exactly what reaches the
// streams and which status the process ends with.
//
//   report-probe fatal <message index> | system <code> | wide <format index> <text>
//              | expansion <template> | full
#include <windows.h>
#include <stdlib.h>
#include <wchar.h>

#include "bootstrap/console.h"
#include "diag/report.h"

namespace {
const char* const fatalMessages[] = {MESSAGE_NO_HEADER, MESSAGE_NO_MEMORY, MESSAGE_DECODE_FAILED,
                                     MESSAGE_NO_SIGNAL_HANDLER};
const char* const systemMessages[] = {MESSAGE_UNPACK_FAILED, MESSAGE_LAUNCH_FAILED};
const char* const wideFormats[] = {MESSAGE_OPEN_FOR_WRITING_FAILED, MESSAGE_EXPANSION_FAILED};
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  setupConsole();
  wchar_t** argv = __wargv;
  int argc = __argc;
  if (argc >= 3 && wcscmp(argv[1], L"fatal") == 0) fatalError(fatalMessages[_wtoi(argv[2])]);
  if (argc >= 4 && wcscmp(argv[1], L"system") == 0) {
    endOnSystemError(systemMessages[_wtoi(argv[2])], (uint32_t)wcstoul(argv[3], nullptr, 0));
  }
  if (argc >= 4 && wcscmp(argv[1], L"wide") == 0) {
    reportWithWideText(wideFormats[_wtoi(argv[2])], argv[3]);
    exit(EXIT_STATUS_REPORTED);
  }
  if (argc >= 3 && wcscmp(argv[1], L"expansion") == 0) reportExpansionFailure(argv[2]);
  if (argc >= 2 && wcscmp(argv[1], L"full") == 0) endRunOnFullBuffer();
  return 100;
}
