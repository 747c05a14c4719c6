// Console control events delivered by the system itself. Wine delivers them
// only to processes on a console that a real terminal backs, so this program
// runs under `script` (see CMakeLists.txt): the test, the launch probe and
// the test child then share that console, and Ctrl+C reaches all three. The
// same holds for a whole console-subsystem bootstrap (a console program's
// build), which shares the console from its start.
//
// Wine cannot show Ctrl+Break (it refuses CTRL_BREAK_EVENT to a process
// group) or the closing of a console here; control_handler_test calls the
// handler with those events directly.
#include <gtest/gtest.h>

#include "child-report.h"
#include "harness.h"

namespace {

constexpr DWORD CTRL_C_EXIT_STATUS = 0xC000013A;

// The test itself lives through the events it sends.
BOOL WINAPI keepRunning(DWORD) { return TRUE; }

struct Supervised {
  HANDLE probe = nullptr;
  HANDLE child = nullptr;
};

// The supervisors: the launch routine alone in a GUI program, and a console
// bootstrap that unpacks the test child first.
const wchar_t* const SUPERVISORS[] = {L"launch-probe.exe", L"child-bootstrap-console.exe"};

// Starts the supervisor, which starts the test child, and waits until the
// child has set up its own handling of events.
Supervised startSupervisedChild(const wchar_t* supervisor, const wchar_t* onEvent, DWORD exitCode) {
  std::wstring report = harness::freshTestDir() + L"\\report.txt";
  std::wstring temp = harness::freshTestDir(L"-temp");  // where the bootstrap unpacks
  harness::RunOptions options;
  options.environment = {{L"CHILD_ON_EVENT", onEvent},
                         {L"CHILD_EXIT_CODE", std::to_wstring(exitCode)},
                         {L"CHILD_REPORT_FILE", report}};
  harness::pointTempAt(&options, temp);
  Supervised started;
  started.probe = harness::start(harness::binPath(supervisor), options);
  ChildReport ready = waitForChildReport(report);
  if (ready.complete) {
    DWORD id = wcstoul(ready.value("processId").c_str(), nullptr, 10);
    started.child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  }
  return started;
}

DWORD statusAfterEnd(HANDLE process) { return harness::waitForExit(process, 60000); }

void finish(Supervised* started) {
  for (HANDLE process : {started->child, started->probe}) {
    if (process == nullptr) continue;
    TerminateProcess(process, 0);
    CloseHandle(process);
  }
}

class ConsoleEvent : public testing::Test {
 protected:
  void SetUp() override { SetConsoleCtrlHandler(keepRunning, TRUE); }
  void sendCtrlC() {
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
        << "error " << GetLastError() << ": no console that a terminal backs (run under script)";
  }
};

// A child that ignores the event ends with the status Ctrl+C gives; one that
// ends by itself meanwhile keeps its own. The supervisor ends with the event.
TEST_F(ConsoleEvent, CtrlCEndsTheChildWithTheCtrlCStatusUnlessItEndsByItself) {
  struct Case {
    const wchar_t* mode;
    DWORD exitCode;
    DWORD status;
  };
  for (const Case& c : {Case{L"ignore", 0, CTRL_C_EXIT_STATUS}, Case{L"exit", 42, 42u}}) {
    for (const wchar_t* supervisor : SUPERVISORS) {
      SCOPED_TRACE(harness::narrow(supervisor) + " " + harness::narrow(c.mode));
      Supervised started = startSupervisedChild(supervisor, c.mode, c.exitCode);
      ASSERT_NE(started.child, nullptr) << "the child never reported";
      sendCtrlC();
      EXPECT_EQ(statusAfterEnd(started.child), c.status);
      EXPECT_NE(statusAfterEnd(started.probe), STILL_ACTIVE) << "the supervisor must end with the event";
      finish(&started);
    }
  }
}

}  // namespace
