// A report with nowhere to go, read back from the real window. These tests
// need a display: tests/windows/harness/run-on-display.sh runs them under a
// virtual one, in a Wine prefix of their own. report-window-app.exe is a
// windowed bootstrap named "Report Window Test" whose template cannot be
// expanded, so that every start of it ends with a report (status 3).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "on-screen.h"

namespace {

const wchar_t APP[] = L"report-window-app.exe";
const wchar_t EXPECTED_TEXT[] = L"Error, couldn't runtime expand spec '{NOPE}\\x'.";
constexpr DWORD STATUS_ABORTED = 3;

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

// Started as Explorer starts a program: no console, no standard handles.
TEST(ReportWindow, AReportWithNoConsoleAndNoHandlesIsShownInAMessageBoxUntilAnswered) {
  harness::RunOptions options;
  options.noStandardHandles = true;
  options.creationFlags = DETACHED_PROCESS;
  HANDLE process = harness::start(harness::binPath(APP), options);
  Window window = waitForWindow(process, 30000);
  ASSERT_NE(window.handle, nullptr) << "no window appeared";
  EXPECT_EQ(window.caption, L"Report Window Test");
  EXPECT_EQ(window.text, EXPECTED_TEXT);
  EXPECT_EQ(window.buttons, L"OK");
  EXPECT_EQ(WaitForSingleObject(process, 500), static_cast<DWORD>(WAIT_TIMEOUT)) << "it waits for the answer";
  PostMessageW(window.handle, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(harness::waitForExit(process, 30000), STATUS_ABORTED) << "the status the report's failure has";
  CloseHandle(process);
}

// A window station that no user sees, as a service or a task without a
// desktop has: nobody could answer a box, so none is shown and the run ends.
TEST(ReportWindow, NoWindowIsShownOnADesktopThatNoUserSees) {
  HWINSTA visible = GetProcessWindowStation();
  HWINSTA hidden = CreateWindowStationW(L"onefile-hidden", 0, WINSTA_ALL_ACCESS, nullptr);
  ASSERT_NE(hidden, nullptr);
  ASSERT_TRUE(SetProcessWindowStation(hidden));
  HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  SetProcessWindowStation(visible);
  ASSERT_NE(desktop, nullptr);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  wchar_t desktopName[] = L"onefile-hidden\\Default";
  startup.lpDesktop = desktopName;
  PROCESS_INFORMATION started = {};
  std::wstring commandLine = harness::quoteArgument(harness::binPath(APP));
  ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                             &startup, &started));
  CloseHandle(started.hThread);
  Window window = waitForWindow(started.hProcess, 30000);
  if (window.handle != nullptr) PostMessageW(window.handle, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(window.handle, nullptr) << "a box was shown: " << harness::narrow(window.text);
  EXPECT_EQ(harness::waitForExit(started.hProcess, 30000), STATUS_ABORTED);
  CloseHandle(started.hProcess);
  CloseDesktop(desktop);
  CloseWindowStation(hidden);
}

}  // namespace
