// The window of a long first start, read back from real windows on a virtual
// display (harness/run-on-display.sh). progress-app.exe was built with
// --progress-window; its main program shows a window of its own. A start
// takes as long as a test needs by meeting a file that the test holds
// without sharing, which it waits for, as it would for a scanner.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "harness.h"
#include "on-screen.h"
#include "progress-app.h"

namespace {

const wchar_t APP[] = L"progress-app.exe";
const wchar_t PROGRESS_WINDOW_CLASS[] = L"OnefileProgress";
constexpr DWORD STATUS_REPORTED = 2;

struct Cache {
  std::wstring temp = harness::freshTestDir();
  std::wstring target = temp + L"\\progress-app";

  HANDLE start(const std::wstring& arguments = L"") const {
    harness::RunOptions options;
    harness::pointTempAt(&options, temp);
    options.commandLine = harness::quoteArgument(harness::binPath(APP)) + arguments;
    options.noStandardHandles = true;
    return harness::start(harness::binPath(APP), options);
  }
  std::string difference() const { return harness::treeDifference(harness::binPath(L"progress-app"), target); }
};

// A file of the payload, there before the start and held without sharing.
struct HeldFile {
  explicit HeldFile(const Cache& cache) {
    std::wstring path = cache.target + L"\\" + PROGRESS_APP_HELD_FILE;
    CreateDirectoryW(cache.target.c_str(), nullptr);
    CreateDirectoryW((cache.target + L"\\data").c_str(), nullptr);
    harness::writeFile(path, "not yet");
    handle = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  ~HeldFile() { release(); }
  void release() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }
  HANDLE handle;
};

std::wstring childText(HWND window, const wchar_t* windowClass) {
  for (const harness::ChildWindow& child : harness::childWindowsOf(window))
    if (lstrcmpiW(child.windowClass.c_str(), windowClass) == 0) return child.text;
  return L"(none)";
}

// The bar's position, in thousandths of the payload; -1 without a bar.
int progressOf(HWND window) {
  HWND bar = FindWindowExW(window, nullptr, PROGRESS_CLASSW, nullptr);
  return bar == nullptr ? -1 : static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
}

// Polls the process's windows until it ends: true when a progress window
// ever showed.
bool progressWindowShowedUntilExit(HANDLE process) {
  bool showed = false;
  while (WaitForSingleObject(process, 10) == WAIT_TIMEOUT)
    showed = showed || harness::visibleWindowOf(GetProcessId(process), PROGRESS_WINDOW_CLASS) != nullptr;
  return showed;
}

// A first start held up part-way shows the window: the application's name,
// its line and how far the payload has come. Closing it stops the start with
// status 2 and no report (without standard handles, a report would wait in a
// box). The next start, held up too, shows it again; it is gone once the
// program's own window is up, the program has the foreground and runs from a
// whole cache.
TEST(ProgressWindow, ShowsALongFirstStartEndsItWhenClosedAndGoesBeforeTheProgramsWindow) {
  Cache cache;
  HeldFile held(cache);
  ASSERT_NE(held.handle, INVALID_HANDLE_VALUE);
  HANDLE stopped = cache.start();
  HWND window = harness::waitForWindowOf(stopped, PROGRESS_WINDOW_CLASS, 30000);
  ASSERT_NE(window, nullptr) << "no progress window while the start waited";
  EXPECT_EQ(harness::windowText(window), PROGRESS_APP_NAME);
  EXPECT_EQ(childText(window, L"Static"), PROGRESS_APP_LINE);
  int progress = progressOf(window);
  EXPECT_GT(progress, 300) << "twenty of thirty files are written";
  EXPECT_LT(progress, 1000);
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(harness::waitForExit(stopped, 30000), STATUS_REPORTED);
  CloseHandle(stopped);

  // The window comes only once a start writes: this one has a file to write
  // before the held one. A move loop entered on the window (as a drag of its
  // title bar enters it; posted, since the virtual display has no window
  // manager to drag with) runs until a key ends it, and stops no unpacking.
  DeleteFileW((cache.target + L"\\data\\00.bin").c_str());
  HANDLE process = cache.start();
  window = harness::waitForWindowOf(process, PROGRESS_WINDOW_CLASS, 30000);
  ASSERT_NE(window, nullptr) << "no progress window at the next start";
  PostMessageW(window, WM_SYSCOMMAND, SC_MOVE, 0);
  Sleep(500);
  held.release();
  // The program's own window comes from a process of its own.
  HWND programWindow = nullptr;
  for (int i = 0; i < 3000 && programWindow == nullptr; ++i) {
    programWindow = FindWindowW(nullptr, PROGRESS_APP_WINDOW);
    if (programWindow == nullptr) Sleep(10);
  }
  if (programWindow == nullptr) TerminateProcess(process, 1);  // stopped in the loop
  ASSERT_NE(programWindow, nullptr) << "the program did not start";
  EXPECT_FALSE(IsWindow(window)) << "the progress window is still there";
  for (int i = 0; i < 100 && GetForegroundWindow() != programWindow; ++i) Sleep(10);
  EXPECT_EQ(GetForegroundWindow(), programWindow) << "the program has not the foreground";
  PostMessageW(programWindow, WM_CLOSE, 0, 0);
  EXPECT_EQ(harness::waitForExit(process, 30000), 0u);
  CloseHandle(process);
  EXPECT_EQ(cache.difference(), "");
}

// A start that writes nothing, and one that writes one small file, are over
// before a window would be worth showing: none flashes, by the window list.
TEST(ProgressWindow, NoWindowForAWarmStartOrASmallFirstStart) {
  Cache cache;
  HANDLE first = cache.start(L" --quick");
  ASSERT_EQ(harness::waitForExit(first, 60000), 0u);
  CloseHandle(first);
  for (bool removeOne : {false, true}) {
    if (removeOne) DeleteFileW((cache.target + L"\\data\\29.bin").c_str());
    HANDLE process = cache.start(L" --quick");
    EXPECT_FALSE(progressWindowShowedUntilExit(process)) << (removeOne ? "one file to write" : "warm");
    DWORD status = 0;
    GetExitCodeProcess(process, &status);
    EXPECT_EQ(status, 0u);
    CloseHandle(process);
    EXPECT_EQ(cache.difference(), "");
  }
}

// Without its timer, a window asked to go while it is being made, before
// its thread has published it, still goes when the run asks (progress-probe).
TEST(ProgressWindow, AWindowAskedToGoWhileItIsMadeGoesWithoutItsTimer) {
  harness::RunOptions options;
  options.noStandardHandles = true;
  HANDLE probe = harness::start(harness::binPath(L"progress-probe.exe"), options);
  EXPECT_EQ(harness::waitForExit(probe, 60000), 0u) << "the window stayed";
  CloseHandle(probe);
}

}  // namespace
