#include "bootstrap/child.h"

#include <shellapi.h>
#include <stdlib.h>
#include <wchar.h>

#include "bootstrap/child-seams.h"
#include "bootstrap/housekeeping.h"
#include "diag/release.h"
#include "diag/report.h"
#include "diag/system-calls.h"
#include "diag/text.h"
#include "paths/environment.h"
#include "paths/program-path.h"

HANDLE volatile childProcess = nullptr;
wchar_t childCommandLine[COMMAND_LINE_CAPACITY];

namespace {

// Characters that make CommandLineToArgvW or a C runtime split or unquote an
// element; an element holding any of them is written in quotes.
constexpr wchar_t QUOTE_TRIGGERS[] = {L' ', L'\t', L'\n', L'\v', L'"'};

// How long a console control event leaves the child to end by itself.
constexpr DWORD CONTROL_EVENT_GRACE_MS = 5000;

// The status Windows gives a program ended by Ctrl+C: a child ended by the
// bootstrap must never look as if it had succeeded.
constexpr UINT CONTROL_EVENT_EXIT_CODE = STATUS_CONTROL_C_EXIT;

wchar_t ownDirectory[MODULE_PATH_CAPACITY];
wchar_t ownPathForArgument[PATH_CAPACITY];

// A command line that does not fit ends the run before anything is written
// past its buffer.
using CommandLineWriter = BoundedText;

void appendUnit(CommandLineWriter* writer, wchar_t unit) {
  if (!appendUnitBounded(writer, unit)) endRunOnFullBuffer();
}

void appendRepeated(CommandLineWriter* writer, wchar_t unit, size_t count) {
  for (size_t i = 0; i < count; ++i) appendUnit(writer, unit);
}

bool needsQuotes(const wchar_t* element) {
  for (wchar_t trigger : QUOTE_TRIGGERS)
    if (wcschr(element, trigger) != nullptr) return true;
  return false;
}

// Backslashes are literal unless they precede a double quote, so only a run
// that ends at a quote (or at the closing quote we add) is doubled.
void appendQuotedElement(CommandLineWriter* writer, const wchar_t* element) {
  appendUnit(writer, L'"');
  const wchar_t* next = element;
  while (*next != L'\0') {
    size_t backslashes = 0;
    while (next[backslashes] == L'\\') ++backslashes;
    wchar_t after = next[backslashes];
    if (after == L'\0') {
      appendRepeated(writer, L'\\', 2 * backslashes);
      break;
    }
    appendRepeated(writer, L'\\', after == L'"' ? 2 * backslashes + 1 : backslashes);
    appendUnit(writer, after);
    next += backslashes + 1;
  }
  appendUnit(writer, L'"');
}

void appendElement(CommandLineWriter* writer, const wchar_t* element) {
  if (element[0] == L'\0') {
    // Written as nothing at all, an empty argument would vanish in the
    // child; a pair of quotes keeps it in its place.
    appendUnit(writer, L'"');
    appendUnit(writer, L'"');
  } else if (needsQuotes(element)) {
    appendQuotedElement(writer, element);
  } else {
    for (const wchar_t* unit = element; *unit != L'\0'; ++unit) appendUnit(writer, *unit);
  }
}

// TRAVIK_ONEFILE_DIRECTORY: the folder holding the bootstrap itself, without
// a trailing backslash (a bare drive for a bootstrap in a drive's root).
void exportOwnDirectory(void) {
  readProgramPath(ownDirectory, MODULE_PATH_CAPACITY);  // a path that cannot be read stays empty
  cutToFolder(ownDirectory);
  // A variable that cannot be set leaves the child without it; the launch
  // does not depend on it.
  setEnvironmentValue(ENV_ONEFILE_DIRECTORY, ownDirectory);
}

// The child's argument vector: the bootstrap's own command line split again,
// with argument 0 replaced by the bootstrap's full module path.
wchar_t** splitOwnCommandLine(int* count) {
  wchar_t** arguments = systemCalls.commandLineToArgv(GetCommandLineW(), count);
  // Without a vector there is nothing to hand on: the run ends like a full buffer.
  if (arguments == nullptr || *count < 1) endRunOnFullBuffer();
  if (!readProgramPath(ownPathForArgument, PATH_CAPACITY)) endRunOnFullBuffer();
  arguments[0] = ownPathForArgument;
  return arguments;  // never released: it lives as long as the run
}

STARTUPINFOW childStartup(void) {
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.cb = sizeof startup;
  return startup;
}

// The handler gets a handle of its own to the child. Whichever thread takes
// it out of childProcess owns and closes it, and the main thread waits on and
// reads the status through the launch's handle, which it alone closes: no
// thread ever uses a handle that the other may have closed.
void shareChildWithHandler(HANDLE process) {
  HANDLE own = GetCurrentProcess();
  HANDLE shared = nullptr;
  // Should the copy fail, the handler finds no child and leaves events to the
  // system; the child, on the same console, still receives them itself.
  if (!DuplicateHandle(own, process, own, &shared, 0, FALSE, DUPLICATE_SAME_ACCESS)) return;
  InterlockedExchangePointer((void* volatile*)&childProcess, shared);
}

void releaseSharedChild(void) {
  HANDLE shared = InterlockedExchangePointer((void* volatile*)&childProcess, nullptr);
  if (shared != nullptr) closeQuietly(shared);  // the child has ended
}

// Each console event runs the handler on a thread of its own. A second event
// (a second Ctrl+C, the console closing) waits here until the first has dealt
// with the child: returning at once would let the system end the bootstrap,
// and with it the first handler's wait, leaving a child that ignores events
// running on its own.
SRWLOCK supervisionLock = SRWLOCK_INIT;

bool isSupervisedEvent(DWORD eventType) {
  return eventType == CTRL_C_EVENT || eventType == CTRL_BREAK_EVENT || eventType == CTRL_CLOSE_EVENT ||
         eventType == CTRL_LOGOFF_EVENT || eventType == CTRL_SHUTDOWN_EVENT;
}

}  // namespace

void buildCommandLineInto(wchar_t* buffer, size_t capacity, wchar_t** arguments, int count) {
  CommandLineWriter writer = {buffer, capacity, 0};
  if (capacity == 0) endRunOnFullBuffer();
  buffer[0] = L'\0';
  for (int i = 0; i < count; ++i) {
    if (i > 0) appendUnit(&writer, L' ');
    appendElement(&writer, arguments[i]);
  }
}

void buildChildCommandLine(wchar_t** arguments, int count) {
  buildCommandLineInto(childCommandLine, COMMAND_LINE_CAPACITY, arguments, count);
}

uint32_t launchChild(wchar_t** runtimeArguments, const wchar_t* firstFile) {
  exportOwnDirectory();
  // The name as typed; a missing one removes an inherited value. Ignored on
  // failure like the directory variable.
  setEnvironmentValue(ENV_ORIGINAL_ARGV0, runtimeArguments != nullptr ? runtimeArguments[0] : nullptr);
  STARTUPINFOW startup = childStartup();
  int count = 0;
  wchar_t** arguments = splitOwnCommandLine(&count);
  buildChildCommandLine(arguments, count);

  // No environment and no folder of its own: the child gets the bootstrap's
  // environment as it is now, and starts in the bootstrap's current folder.
  PROCESS_INFORMATION launched;
  ZeroMemory(&launched, sizeof launched);
  if (!systemCalls.createProcess(firstFile, childCommandLine, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                                 nullptr, &startup, &launched)) {
    endOnSystemError(MESSAGE_LAUNCH_FAILED, GetLastError());
  }
  closeQuietly(launched.hThread);  // never used
  if (launched.hProcess == nullptr) return 0;

  shareChildWithHandler(launched.hProcess);
  startHousekeeping();
  WaitForSingleObject(launched.hProcess, INFINITE);  // an infinite wait on our own handle: only its end matters
  finishHousekeeping();
  DWORD status = 0;
  if (!systemCalls.getExitCodeProcess(launched.hProcess, &status)) status = 1;
  closeQuietly(launched.hProcess);  // the child has ended
  releaseSharedChild();
  return status;
}

BOOL WINAPI consoleCtrlHandler(DWORD eventType) {
  if (!isSupervisedEvent(eventType)) return FALSE;
  AcquireSRWLockExclusive(&supervisionLock);
  // Taken out before anything else, so that no other thread can close it
  // while it is used here, and it is closed exactly once.
  HANDLE child = InterlockedExchangePointer((void* volatile*)&childProcess, nullptr);
  if (child != nullptr) {
    // Results not examined: whatever the wait or the termination gives, the
    // event goes on to the system's handling.
    if (WaitForSingleObject(child, CONTROL_EVENT_GRACE_MS) != WAIT_OBJECT_0)
      TerminateProcess(child, CONTROL_EVENT_EXIT_CODE);
    closeQuietly(child);
  }
  ReleaseSRWLockExclusive(&supervisionLock);
  return FALSE;
}
