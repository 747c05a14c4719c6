// A report with nowhere to go, read back from the real window. These tests
// need a display: tests/windows/harness/run-on-display.sh runs them under a
// virtual one, in a Wine prefix of their own. report-window-app.exe is a
// windowed bootstrap named "Report Window Test" whose template cannot be
// expanded, so that every start of it ends with a report (status 3);
// report-window-unpack-app.exe, named alike, unpacks main.exe below {TEMP}.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/report-window-seams.h"
#include "diag/report-window.h"
#include "harness.h"
#include "on-screen.h"

namespace {

const wchar_t APP[] = L"report-window-app.exe";
constexpr DWORD STATUS_REPORTED = 2, STATUS_ABORTED = 3;

struct Window {
  HWND handle = nullptr;
  std::wstring caption;
  std::wstring text;     // the message: the static control the box gives id 0xFFFF
  std::wstring buttons;  // the buttons' texts, one after the other
};

// Waits up to timeoutMs for a visible window of the process, or for its end.
Window waitForWindow(HANDLE process, DWORD timeoutMs) {
  Window window;
  window.handle = harness::waitForWindowOf(process, nullptr, timeoutMs);
  if (window.handle == nullptr) return window;
  window.caption = harness::windowText(window.handle);
  for (const harness::ChildWindow& child : harness::childWindowsOf(window.handle)) {
    if (child.id == 0xFFFF) window.text = child.text;
    if (lstrcmpiW(child.windowClass.c_str(), L"Button") == 0) window.buttons += child.text;
  }
  return window;
}

// Started as Explorer starts a program: no console, no standard handles. The
// box shows the report as built, every character of it: a user whose name is
// written in Cyrillic or CJK characters reads the whole path, which the bytes
// written to a console would cut at the first such character.
TEST(ReportWindow, AReportWithNoConsoleAndNoHandlesIsShownInAMessageBoxUntilAnswered) {
  std::wstring user = harness::freshTestDir() + L"\\\u0418\u0432\u0430\u043d \u674e\u5c0f\u9f8d";
  ASSERT_TRUE(CreateDirectoryW(user.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((user + L"\\app").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((user + L"\\app\\main.exe").c_str(), nullptr));  // where the file belongs
  harness::RunOptions options;
  options.noStandardHandles = true;
  options.creationFlags = DETACHED_PROCESS;
  options.environment = {{L"TEMP", user}, {L"TMP", user}};
  HANDLE process = harness::start(harness::binPath(L"report-window-unpack-app.exe"), options);
  Window window = waitForWindow(process, 30000);
  ASSERT_NE(window.handle, nullptr) << "no window appeared";
  EXPECT_EQ(window.caption, L"Report Window Test");
  EXPECT_EQ(window.text, L"Error, failed to open '" + user + L"\\app\\main.exe' for writing.");
  EXPECT_EQ(window.buttons, L"OK");
  EXPECT_EQ(WaitForSingleObject(process, 500), static_cast<DWORD>(WAIT_TIMEOUT)) << "it waits for the answer";
  PostMessageW(window.handle, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(harness::waitForExit(process, 30000), STATUS_REPORTED) << "the status the report's failure has";
  CloseHandle(process);
}

// Started as Explorer starts a program, on the desktop named "station\desktop".
HANDLE startOn(const wchar_t* place) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  std::wstring desktopName = place;
  startup.lpDesktop = &desktopName[0];
  PROCESS_INFORMATION started = {};
  std::wstring commandLine = harness::quoteArgument(harness::binPath(APP));
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                      &started))
    return nullptr;
  CloseHandle(started.hThread);
  return started.hProcess;
}

// Windows are listed by desktop: the search runs on a thread of the process's.
Window waitForWindowOn(HDESK desktop, HANDLE process, DWORD timeoutMs) {
  struct Search {
    HDESK desktop;
    HANDLE process;
    DWORD timeoutMs;
    Window found;
  } search = {desktop, process, timeoutMs, {}};
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* parameter) -> DWORD {
        Search* on = static_cast<Search*>(parameter);
        if (SetThreadDesktop(on->desktop)) on->found = waitForWindow(on->process, on->timeoutMs);
        return 0;
      },
      &search, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return search.found;
}

// A report while the program's desktop does not take the input (the screen
// is locked, or a consent prompt has the secure desktop) is shown in a box
// for the user to come back to, and so is one on any desktop of the window
// station the user sees. Wine's SwitchDesktop succeeds but leaves the input
// with the default desktop, so there only the start on a desktop of its own
// meets an input desktop that is not its own (its box has a time limit,
// which the next tests show).
TEST(ReportWindow, ABoxWaitsOnEveryDesktopOfTheStationAUserSees) {
  HDESK own = GetThreadDesktop(GetCurrentThreadId());
  HDESK aside = CreateDesktopW(L"onefile-aside", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  ASSERT_NE(aside, nullptr);
  const struct {
    const wchar_t* place;
    HDESK desktop, input;
  } starts[] = {{L"WinSta0\\Default", own, aside}, {L"WinSta0\\onefile-aside", aside, own}};
  for (const auto& start : starts) {
    SCOPED_TRACE(harness::narrow(start.place));
    ASSERT_TRUE(SwitchDesktop(start.input));
    HANDLE process = startOn(start.place);
    ASSERT_NE(process, nullptr);
    Window window = waitForWindowOn(start.desktop, process, 30000);
    SwitchDesktop(start.desktop);  // the user is back
    EXPECT_NE(window.handle, nullptr) << "no box";
    EXPECT_EQ(window.caption, L"Report Window Test");
    if (window.handle != nullptr) PostMessageW(window.handle, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(harness::waitForExit(process, 30000), STATUS_ABORTED);
    CloseHandle(process);
  }
  SwitchDesktop(own);
  CloseDesktop(aside);
}

// A person's own desktop is the station's "Default": its box waits, also
// while the screen is locked and the input desktop cannot be read. A box on
// a desktop of another name waits only while that desktop has the input.
// Wine takes "Default" for the input desktop whatever has the input, so the
// rule is shown on the routine here.
TEST(ReportWindow, ABoxOnADesktopNobodyLooksAtHasATimeLimit) {
  constexpr DWORD LIMIT = REPORT_BOX_UNWATCHED_LIMIT_MS;
  const struct {
    const wchar_t *own, *input;
    DWORD limit;
  } desktops[] = {
      {L"Default", L"Default", INFINITE},       {L"Default", L"Winlogon", INFINITE},
      {L"Default", nullptr, INFINITE},          {L"default", L"automation", INFINITE},
      {L"automation", L"automation", INFINITE}, {L"automation", L"Default", LIMIT},
      {L"automation", nullptr, LIMIT},          {L"Defaults", L"Default", LIMIT},
  };
  for (const auto& desktop : desktops)
    EXPECT_EQ(reportBoxWaitLimit(desktop.own, desktop.input), desktop.limit)
        << harness::narrow(desktop.own) << " while the input is "
        << (desktop.input != nullptr ? harness::narrow(desktop.input) : "unknown");
  EXPECT_EQ(LIMIT, 5u * 60 * 1000);
}

// When its time runs out the box goes without an answer, and the report's
// ending goes on.
TEST(ReportWindow, ABoxWhoseTimeRunsOutClosesWithoutAnAnswer) {
  HANDLE shown = CreateThread(
      nullptr, 0,
      [](void*) -> DWORD {
        showReportBox(L"Error, a report.\n", 17, 3000);
        return 0;
      },
      nullptr, 0, nullptr);
  ASSERT_NE(shown, nullptr);
  HANDLE self = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
  Window window = waitForWindow(self, 30000);
  EXPECT_NE(window.handle, nullptr) << "no box";
  EXPECT_EQ(window.text, L"Error, a report.");
  EXPECT_EQ(WaitForSingleObject(shown, 60000), WAIT_OBJECT_0) << "the box is still there";
  if (window.handle != nullptr) EXPECT_FALSE(IsWindow(window.handle));
  CloseHandle(self);
  CloseHandle(shown);
}

// A window station that no user sees, as a service or a task without a
// desktop has: nobody could ever answer a box there, so none is shown and
// the run ends.
TEST(ReportWindow, NoWindowIsShownOnAWindowStationThatNoUserSees) {
  HWINSTA visible = GetProcessWindowStation();
  HWINSTA hidden = CreateWindowStationW(L"onefile-hidden", 0, WINSTA_ALL_ACCESS, nullptr);
  ASSERT_NE(hidden, nullptr);
  ASSERT_TRUE(SetProcessWindowStation(hidden));
  HDESK hiddenDesktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  SetProcessWindowStation(visible);
  ASSERT_NE(hiddenDesktop, nullptr);
  HANDLE process = startOn(L"onefile-hidden\\Default");
  ASSERT_NE(process, nullptr);
  // No window of another station can be listed from here: a box shows as a
  // run that waits for its answer.
  DWORD status = harness::waitForExit(process, 30000);
  if (status == STILL_ACTIVE) TerminateProcess(process, 1);
  EXPECT_EQ(status, STATUS_ABORTED) << "the run waited, as for the answer to a box";
  CloseHandle(process);
  CloseDesktop(hiddenDesktop);
  CloseWindowStation(hidden);
}

}  // namespace
