#include <wchar.h>

#include "diag/report.h"
#include "diag/system-calls.h"
#include "diag/text.h"
#include "paths/program-path.h"

// Written by the system straight into the output. A path that fills the room
// entirely has been cut short (and may lack its terminator): it ends the run
// like any value that does not fit, instead of naming some other file.
bool readProgramPath(wchar_t* at, size_t room) {
  DWORD size = systemBufferLength(room);
  DWORD length = systemCalls.getModuleFileName(nullptr, at, size);
  if (length == 0) {
    at[0] = L'\0';
    return false;
  }
  if (length >= size) endRunOnFullBuffer();
  return true;
}

void cutToFolder(wchar_t* path) {
  wchar_t* lastSeparator = wcsrchr(path, L'\\');
  if (lastSeparator != nullptr) *lastSeparator = L'\0';
}
