// A GUI program built like the bootstrap that runs the launch step alone:
// launchChild with its own command line, environment, standard handles and
// current folder, and the test child beside it as the unpacked program.
//
//   PROBE_FIRST_FILE     the program to start instead of test-child.exe
//   PROBE_NO_FIRST_FILE  when set, an empty path, as a payload without any
//                        file record leaves it
//   PROBE_EVENT          a console control event type: once the child runs,
//                        a thread of the probe calls consoleCtrlHandler with
//                        it, as the system would on an event
//
// Ends with launchChild's status, or with one of the PROBE_FAULT_* statuses
// below when the hand-over of the child's handle went wrong.
#include <windows.h>

#include <string>

#include "bootstrap/child.h"
#include "bootstrap/console.h"
#include "diag/report.h"

namespace {

constexpr DWORD PROBE_FAULT_HANDLER_RESULT = 0x0BAD0001;  // the handler returned other than FALSE
constexpr DWORD PROBE_FAULT_HANDLE_LEFT = 0x0BAD0002;     // childProcess still set after the launch
constexpr DWORD PROBE_FAULT_NO_CHILD_SEEN = 0x0BAD0003;   // the event thread never saw a child

std::wstring variable(const wchar_t* name, bool* present) {
  wchar_t value[PATH_CAPACITY];
  DWORD length = GetEnvironmentVariableW(name, value, PATH_CAPACITY);
  *present = length != 0 && length < PATH_CAPACITY;
  return *present ? std::wstring(value, length) : std::wstring();
}

std::wstring besideProbe(const wchar_t* name) {
  wchar_t path[PATH_CAPACITY];
  std::wstring own(path, GetModuleFileNameW(nullptr, path, PATH_CAPACITY));
  return own.substr(0, own.find_last_of(L'\\') + 1) + name;
}

DWORD eventType = 0;
DWORD eventOutcome = PROBE_FAULT_NO_CHILD_SEEN;

DWORD WINAPI deliverEventOnceChildRuns(void*) {
  for (int tries = 0; tries < 6000 && childProcess == nullptr; ++tries) Sleep(10);
  if (childProcess == nullptr) return 0;
  eventOutcome = consoleCtrlHandler(eventType) == FALSE ? 0 : PROBE_FAULT_HANDLER_RESULT;
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  setupConsole();
  if (!SetConsoleCtrlHandler(consoleCtrlHandler, TRUE)) fatalError(MESSAGE_NO_SIGNAL_HANDLER);

  bool present = false;
  std::wstring firstFile = variable(L"PROBE_FIRST_FILE", &present);
  if (!present) firstFile = besideProbe(L"test-child.exe");
  variable(L"PROBE_NO_FIRST_FILE", &present);
  if (present) firstFile.clear();

  std::wstring event = variable(L"PROBE_EVENT", &present);
  HANDLE eventThread = nullptr;
  if (present) {
    eventType = (DWORD)wcstoul(event.c_str(), nullptr, 0);
    eventThread = CreateThread(nullptr, 0, deliverEventOnceChildRuns, nullptr, 0, nullptr);
  }

  DWORD status = launchChild(__wargv, firstFile.c_str());
  if (childProcess != nullptr) return (int)PROBE_FAULT_HANDLE_LEFT;
  if (eventThread != nullptr) {
    WaitForSingleObject(eventThread, INFINITE);
    CloseHandle(eventThread);
    if (eventOutcome != 0) return (int)eventOutcome;
  }
  return (int)status;
}
