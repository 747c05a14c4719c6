// A GUI program built like the bootstrap that runs setupConsole alone and
// records what it left behind, so that a test can compare the runtime's
// streams with the process's standard handles.
//
//   CONSOLE_PROBE_STATE    write the state there, one "key value" line each:
//                          descriptorBefore.N, descriptorAfter.N,
//                          handleBehindIsStandard.N, standardType.N (GetFileType,
//                          "invalid" for no handle), standardIsConsole.N and
//                          standardIsConsoleInput.N, for N = 0 input, 1 output,
//                          2 error
//   CONSOLE_PROBE_STREAMS  when set, one line through each output stream
//   CONSOLE_PROBE_REPORTS  when set, a report on standard error and then one
//                          on standard output, which ends the run with 2
//   CONSOLE_PROBE_U8TEXT   when set, the output streams are first switched to
//                          UTF-8 translation, and the path reported ends in
//                          U+00E9
//
// Otherwise ends with _exit(0): nothing buffered is flushed at the end, so
// only what an unbuffered stream wrote at once is out.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "bootstrap/console.h"
#include "diag/report.h"

namespace {

const DWORD STANDARD_HANDLE_IDS[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};

bool isSet(const wchar_t* name) { return GetEnvironmentVariableW(name, nullptr, 0) != 0; }

HANDLE handleBehind(int descriptor) {
  return descriptor < 0 ? INVALID_HANDLE_VALUE : (HANDLE)_get_osfhandle(descriptor);
}

std::string typeOf(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return "invalid";
  return std::to_string(GetFileType(handle));
}

void addLine(std::string* state, const char* key, int stream, const std::string& value) {
  *state += std::string(key) + "." + std::to_string(stream) + " " + value + "\n";
}

void writeState(const int* descriptorsBefore) {
  wchar_t path[MAX_PATH * 4];
  DWORD length = GetEnvironmentVariableW(L"CONSOLE_PROBE_STATE", path, MAX_PATH * 4);
  if (length == 0 || length >= MAX_PATH * 4) return;
  FILE* streams[] = {stdin, stdout, stderr};
  std::string state;
  for (int n = 0; n < 3; ++n) {
    int descriptor = _fileno(streams[n]);
    HANDLE standard = GetStdHandle(STANDARD_HANDLE_IDS[n]);
    DWORD mode = 0, events = 0;
    addLine(&state, "descriptorBefore", n, std::to_string(descriptorsBefore[n]));
    addLine(&state, "descriptorAfter", n, std::to_string(descriptor));
    addLine(&state, "handleBehindIsStandard", n, handleBehind(descriptor) == standard ? "1" : "0");
    addLine(&state, "standardType", n, typeOf(standard));
    addLine(&state, "standardIsConsole", n, GetConsoleMode(standard, &mode) ? "1" : "0");
    addLine(&state, "standardIsConsoleInput", n, GetNumberOfConsoleInputEvents(standard, &events) ? "1" : "0");
  }
  state += "end\n";
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD put = 0;
  WriteFile(file, state.data(), (DWORD)state.size(), &put, nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int descriptorsBefore[] = {_fileno(stdin), _fileno(stdout), _fileno(stderr)};
  setupConsole();
  writeState(descriptorsBefore);
  if (isSet(L"CONSOLE_PROBE_STREAMS")) {
    fputs("stream output line\n", stdout);
    fputs("stream error line\n", stderr);
  }
  const wchar_t* reportedPath = L"C:\\probe\\file";
  if (isSet(L"CONSOLE_PROBE_U8TEXT")) {
    _setmode(_fileno(stdout), _O_U8TEXT);
    _setmode(_fileno(stderr), _O_U8TEXT);
    reportedPath = L"C:\\probe\\caf\u00e9";
  }
  if (isSet(L"CONSOLE_PROBE_REPORTS")) {
    reportWithWideText(MESSAGE_OPEN_FOR_WRITING_FAILED, reportedPath);
    fatalError(MESSAGE_NO_HEADER);
  }
  _exit(0);
}
