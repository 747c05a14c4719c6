// Values that describe the running program: its path, its process ID and its
// version.
#include <windows.h>
#include <stdlib.h>
#include <wchar.h>

#include "diag/report.h"
#include "diag/text.h"
#include "paths/environment.h"
#include "paths/placeholders.h"
#include "paths/program-path.h"
#include "paths/template.h"
#include "resources/embedded.h"

namespace {

constexpr wchar_t PROGRAM_TEMPLATE[] = L"{PROGRAM}";
constexpr wchar_t EXECUTABLE_EXTENSION[] = L".exe";
constexpr size_t EXECUTABLE_EXTENSION_LENGTH = 4;

// Only ASCII digits: the value is a process ID as a bootstrap writes it, and
// other scripts' digits would put text into the path that no bootstrap wrote.
bool isDecimalNumber(const wchar_t* text) {
  for (; *text != L'\0'; ++text)
    if (*text < L'0' || *text > L'9') return false;
  return true;
}

}  // namespace

bool expandProgramPath(wchar_t* at, size_t room) { return readProgramPath(at, room); }

// The program's path without ".exe" in any case; other extensions are part
// of the name. Only the program's own path is trimmed, never the text before.
bool expandProgramBase(wchar_t* at, size_t room) {
  if (!expandTemplatePath(at, PROGRAM_TEMPLATE, room)) return false;
  size_t length = wcslen(at);
  if (length >= EXECUTABLE_EXTENSION_LENGTH &&
      _wcsicmp(at + length - EXECUTABLE_EXTENSION_LENGTH, EXECUTABLE_EXTENSION) == 0)
    at[length - EXECUTABLE_EXTENSION_LENGTH] = L'\0';
  return true;
}

// The folder of the program without a trailing backslash; a drive root thus
// gives just the drive ("C:").
bool expandProgramDirectory(wchar_t* at, size_t room) {
  if (!expandTemplatePath(at, PROGRAM_TEMPLATE, room)) return false;
  cutToFolder(at);
  return true;
}

// The bootstrap that started the run, as recorded at start-up; a program that
// has no record gives its own ID. A recorded value that is not a number was
// not written by a bootstrap: the run ends rather than build a path on it.
bool expandProcessId(wchar_t* at, size_t room) {
  wchar_t* parent = getEnvironmentValue(ENV_ONEFILE_PARENT);
  if (parent == nullptr) {
    char idText[PROCESS_ID_TEXT_CAPACITY];
    formatOwnProcessId(idText);
    widenNarrowText(at, room, idText);
    return true;
  }
  if (!isDecimalNumber(parent)) endRunOnFullBuffer();
  appendWideBounded(at, room, parent);
  free(parent);
  return true;
}

// The version text fixed when the bootstrap was built; the version resource
// of the executable is never read.
bool expandVersion(wchar_t* at, size_t room) {
  appendWideBounded(at, room, onefileVersionText);
  return true;
}
