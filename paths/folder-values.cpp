// Folders the system names: temporary files, the user's profile, the user's
// local application data.
#include <windows.h>
#include <shlobj.h>

#include "diag/report.h"
#include "diag/system-calls.h"
#include "diag/text.h"
#include "paths/environment.h"
#include "paths/placeholders.h"

namespace {

// The current path of a shell folder; nothing is created. There is no
// fallback: a folder the system cannot name makes the expansion fail.
bool appendShellFolder(int folder, wchar_t* at, size_t room) {
  wchar_t path[MAX_PATH];
  if (systemCalls.getFolderPath(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return false;
  appendWideBounded(at, room, path);
  return true;
}

}  // namespace

// Written by the system straight into the output. A folder that the system
// cannot name makes the expansion fail, as for the shell folders: an empty
// value would turn {TEMP}\app into \app, the root of the current drive. A
// folder too long for the room left ends the run like any other value that
// does not fit.
bool expandTempFolder(wchar_t* at, size_t room) {
  DWORD size = systemBufferLength(room);
  DWORD length = systemCalls.getTempPath(size, at);
  if (length == 0) {
    at[0] = L'\0';
    return false;
  }
  if (length >= size) endRunOnFullBuffer();
  return true;
}

bool expandHomeFolder(wchar_t* at, size_t room) { return appendShellFolder(CSIDL_PROFILE, at, room); }

bool expandCacheFolder(wchar_t* at, size_t room) { return appendShellFolder(CSIDL_LOCAL_APPDATA, at, room); }
