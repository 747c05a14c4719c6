#include "bootstrap/console.h"

#include <fcntl.h>
#include <io.h>
#include <stdint.h>
#include <stdio.h>

#include "bootstrap/console-seams.h"
#include "diag/system-calls.h"

ConsoleModeCalls consoleModeCalls = {GetConsoleMode, SetConsoleMode};

namespace {

constexpr DWORD OUTPUT_MODE_WANTED =
    ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING;
constexpr DWORD OUTPUT_MODE_FALLBACK = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
constexpr DWORD INPUT_MODE_WANTED = ENABLE_PROCESSED_INPUT | ENABLE_VIRTUAL_TERMINAL_INPUT;
constexpr DWORD INPUT_MODE_FALLBACK = ENABLE_PROCESSED_INPUT;
// A console input buffer with this bit set is left as the system gave it.
constexpr DWORD INPUT_MODE_AUTO_POSITION = 0x100;
constexpr int OUTPUT_WRAP_FLAGS = _O_TEXT | _O_WRONLY;
constexpr int INPUT_WRAP_FLAGS = _O_TEXT;
// Wide text written by anyone through these streams reaches the console as
// UTF-8. The bootstrap's own reports do not go through the streams'
// translation (see diag/report.cpp), so they stay byte for byte.
constexpr int STREAM_TRANSLATION = _O_U8TEXT;

// Console devices are opened inheritable so that the child receives them.
SECURITY_ATTRIBUTES inheritableHandles = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};

struct StandardStream {
  FILE* stream;
  DWORD handleId;
  bool isInput;
  bool missingDescriptor;  // still without a descriptor after the repair
};

bool isPresent(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// No runtime call is given a negative descriptor: some runtimes treat that as
// a fault rather than a failure.
HANDLE handleBehind(FILE* stream) {
  int descriptor = _fileno(stream);
  return descriptor < 0 ? INVALID_HANDLE_VALUE : (HANDLE)_get_osfhandle(descriptor);
}

void setTranslation(FILE* stream) {
  int descriptor = _fileno(stream);
  if (descriptor >= 0) _setmode(descriptor, STREAM_TRANSLATION);  // a refusal keeps text mode
}

// Gives a stream the console's standard handle for it, or else the null
// device, when the runtime started it without a descriptor.
void repairStream(StandardStream* entry) {
  FILE* stream = entry->stream;
  if (_fileno(stream) < 0) {
    freopen("NUL", entry->isInput ? "r" : "w", stream);  // a refusal leaves it without descriptor
    HANDLE standard = GetStdHandle(entry->handleId);
    if (isPresent(standard)) {
      HANDLE modeHandle = standard;
      int temporary = _open_osfhandle((intptr_t)standard, entry->isInput ? INPUT_WRAP_FLAGS : OUTPUT_WRAP_FLAGS);
      int descriptor = _fileno(stream);
      // The temporary descriptor owns the standard handle: it is closed only
      // once the stream holds a duplicate, else the process's standard handle
      // (which the child may inherit) would be a closed one.
      if (temporary >= 0 && descriptor >= 0 && _dup2(temporary, descriptor) == 0) {
        _close(temporary);
        modeHandle = handleBehind(stream);
      }
      setTranslation(stream);
      adjustConsoleMode(modeHandle, entry->isInput);
    }
    clearerr(stream);
  }
  entry->missingDescriptor = _fileno(stream) < 0;
}

HANDLE openConsoleDevice(const wchar_t* name) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritableHandles,
                     OPEN_EXISTING, 0, nullptr);
}

// Output streams become unbuffered so that every report is out before the
// process ends, however it ends.
void settleOutput(const StandardStream& entry) {
  HANDLE handle;
  if (entry.missingDescriptor) {
    handle = openConsoleDevice(L"CONOUT$");
    _wfreopen(L"CONOUT$", L"wb", entry.stream);
    setvbuf(entry.stream, nullptr, _IONBF, 0);
    setTranslation(entry.stream);
    adjustConsoleMode(handle, false);
    adjustConsoleMode(handleBehind(entry.stream), false);
  } else {
    setvbuf(entry.stream, nullptr, _IONBF, 0);
    handle = handleBehind(entry.stream);
  }
  SetStdHandle(entry.handleId, handle);
}

void settleInput(const StandardStream& entry) {
  if (!entry.missingDescriptor) {
    SetStdHandle(entry.handleId, handleBehind(entry.stream));
    return;
  }
  HANDLE handle = openConsoleDevice(L"CONIN$");
  DWORD mode = 0;
  GetConsoleMode(handle, &mode);  // a failed read leaves 0
  if (mode & INPUT_MODE_AUTO_POSITION) {
    // Standard input and its handle stay as they are; the device is not needed.
    if (isPresent(handle)) CloseHandle(handle);
    return;
  }
  _wfreopen(L"CONIN$", L"rb", entry.stream);
  setTranslation(entry.stream);
  adjustConsoleMode(handle, true);
  adjustConsoleMode(handleBehind(entry.stream), true);
  SetStdHandle(entry.handleId, handle);
}

}  // namespace

void setupConsole(void) {
  StandardStream output = {stdout, STD_OUTPUT_HANDLE, false, false};
  StandardStream error = {stderr, STD_ERROR_HANDLE, false, false};
  StandardStream input = {stdin, STD_INPUT_HANDLE, true, false};
  // Without a parent console (or with one already) the streams are left as the
  // runtime made them, and none of them counts as missing.
  if (systemCalls.attachConsole(ATTACH_PARENT_PROCESS)) {
    repairStream(&output);
    repairStream(&error);
    repairStream(&input);
  }
  settleOutput(output);
  settleOutput(error);
  settleInput(input);
}

void adjustConsoleMode(HANDLE handle, bool isInput) {
  DWORD mode = 0;
  if (!consoleModeCalls.get(handle, &mode)) return;
  DWORD wanted = isInput ? INPUT_MODE_WANTED : OUTPUT_MODE_WANTED;
  DWORD fallback = isInput ? INPUT_MODE_FALLBACK : OUTPUT_MODE_FALLBACK;
  if (!consoleModeCalls.set(handle, mode | wanted)) consoleModeCalls.set(handle, mode | fallback);
}
