// The target directory and its absolute form.
#include "diag/system-calls.h"
#include "paths/target-directory.h"

#include <windows.h>

#include "diag/report.h"

wchar_t targetDirectory[PATH_CAPACITY];

namespace {
wchar_t fullTargetPath[PATH_CAPACITY];
}

// Every path of the run is built on this form, so it has to be final: the
// current directory applied, . and .. resolved, forward slashes turned into
// backslashes. A path the buffer cannot hold ends the run.
void resolveTargetPath(void) {
  DWORD length = systemCalls.getFullPathName(targetDirectory, PATH_CAPACITY, fullTargetPath, nullptr);
  if (length == 0 || length >= PATH_CAPACITY) endRunOnFullBuffer();
  wmemcpy(targetDirectory, fullTargetPath, length);
  targetDirectory[length] = L'\0';
}
