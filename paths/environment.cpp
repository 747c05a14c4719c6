// Reading and setting environment variables by narrow name, and the reset of
// the run values at start-up.
#include "diag/system-calls.h"
#include "paths/environment.h"

#include <stdlib.h>

#include "diag/text.h"

namespace {

// One value as the system hands it out; process-wide, so that its 64 KiB
// never sit on the stack.
wchar_t environmentValue[ENV_VALUE_CAPACITY];

void widenName(const char* name, wchar_t (&wideName)[ENV_NAME_CAPACITY]) {
  wideName[0] = L'\0';
  widenNarrowText(wideName, ENV_NAME_CAPACITY, name);
}

}  // namespace

wchar_t* getEnvironmentValueW(const wchar_t* name) {
  DWORD length = systemCalls.getEnvironmentVariable(name, environmentValue, ENV_VALUE_CAPACITY);
  // 0 stands for a missing variable and for an empty one alike; a count that
  // does not fit is the size a longer value would need.
  if (length == 0 || length >= ENV_VALUE_CAPACITY) return nullptr;
  return systemCalls.duplicateText(environmentValue);
}

wchar_t* getEnvironmentValue(const char* name) {
  wchar_t wideName[ENV_NAME_CAPACITY];
  widenName(name, wideName);
  return getEnvironmentValueW(wideName);
}

BOOL setEnvironmentValue(const char* name, const wchar_t* value) {
  wchar_t wideName[ENV_NAME_CAPACITY];
  widenName(name, wideName);
  return systemCalls.setEnvironmentVariable(wideName, value);
}

// Run values inherited from a bootstrap further up the process tree belong to
// that run: they are dropped so that this run's templates draw their own.
// The results are not examined: a variable that cannot be removed or set
// leaves nothing the start-up could do better.
void resetRunEnvironment(void) {
  setEnvironmentValue(ENV_ONEFILE_START, nullptr);
  setEnvironmentValue(ENV_ONEFILE_TIME_US, nullptr);
  setEnvironmentValue(ENV_ONEFILE_RANDOM, nullptr);

  char idText[PROCESS_ID_TEXT_CAPACITY];
  formatOwnProcessId(idText);
  wchar_t wideId[PROCESS_ID_TEXT_CAPACITY];
  wideId[0] = L'\0';
  widenNarrowText(wideId, PROCESS_ID_TEXT_CAPACITY, idText);
  setEnvironmentValue(ENV_ONEFILE_PARENT, wideId);
}
