// Libraries planted where a downloaded executable would find them: copies of
// plant-marker.dll under the names of system libraries, beside a copy of the
// executable and in the folder it is started from. A download folder may hold
// any such file. None may run in any start, and every start must end as it
// would without them. Under Wine, the starts with windows need a display
// (harness/run-on-display.sh).
//
// The executables are the test programs' own; PLANTING_EXECUTABLES names
// another folder holding executables of the same names, to run the same table
// against another build.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "harness.h"
#include "on-screen.h"
#include "progress-app.h"

namespace {

const wchar_t* const PLANTED_NAMES[] = {
    // What Windows looks for beside a program that shows a window or a box,
    // or reads a version or a profile.
    L"uxtheme.dll", L"dwmapi.dll", L"version.dll", L"profapi.dll", L"windows.storage.dll", L"propsys.dll",
    L"TextShaping.dll", L"CRYPTBASE.dll",
    // What Wine's system libraries load for themselves.
    L"shcore.dll", L"shlwapi.dll", L"ucrtbase.dll", L"zlib1.dll", L"sechost.dll", L"win32u.dll", L"imm32.dll",
    L"advapi32.dll", L"ole32.dll", L"combase.dll", L"rpcrt4.dll",
    // The bootstrap's own.
    L"shell32.dll", L"user32.dll", L"gdi32.dll", L"comctl32.dll", L"kernel32.dll", L"kernelbase.dll", L"msvcrt.dll",
    L"ntdll.dll"};

const wchar_t PROGRESS_WINDOW_CLASS[] = L"OnefileProgress";
constexpr DWORD STATUS_ABORTED = 3;  // the failing windowed start's template cannot be expanded
constexpr DWORD CONSOLE_STATUS = 7;

std::wstring executablePath(const wchar_t* name) {
  char folder[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("PLANTING_EXECUTABLES", folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return harness::binPath(name);
  return harness::widen(folder) + L"\\" + name;
}

// A copy of the executable among the plants, a current folder with plants
// too, and a folder of its own for the cache.
struct PlantedStart {
  std::wstring beside = harness::freshTestDir(L"-beside");
  std::wstring current = harness::freshTestDir(L"-current");
  std::wstring temp = harness::freshTestDir(L"-temp");
  std::wstring executable;

  explicit PlantedStart(const wchar_t* name) : executable(beside + L"\\" + name) {
    EXPECT_TRUE(CopyFileW(executablePath(name).c_str(), executable.c_str(), FALSE)) << harness::narrow(name);
    std::wstring marker = harness::binPath(L"plant-marker.dll");
    for (const wchar_t* planted : PLANTED_NAMES)
      for (const std::wstring& folder : {beside, current})
        EXPECT_TRUE(CopyFileW(marker.c_str(), (folder + L"\\" + planted).c_str(), FALSE));
  }

  harness::RunOptions options(const std::wstring& arguments = L"") const {
    harness::RunOptions options;
    harness::pointTempAt(&options, temp);
    options.currentDirectory = current;
    options.commandLine = harness::quoteArgument(executable) + arguments;
    return options;
  }

  // One line per marker left: the library that ran, and in which program.
  std::string markers() const {
    std::string found;
    for (const std::wstring& folder : {beside, current})
      for (const std::wstring& name : harness::listTree(folder))
        if (name.size() > 4 && name.compare(name.size() - 4, 4, L".ran") == 0)
          found +=
              harness::narrow(folder + L"\\" + name) + " ran in " + harness::readFile(folder + L"\\" + name) + "\n";
    return found;
  }
};

// progress-app.exe's first start, then a start over the whole cache, then one
// that has a file to write again; its program ends at once with --quick.
TEST(PlantedLibraries, NoneRunsInAWindowedColdWarmOrRepairingStart) {
  PlantedStart start(L"progress-app.exe");
  std::wstring target = start.temp + L"\\progress-app";
  for (const char* kind : {"cold", "warm", "repairing"}) {
    if (std::string(kind) == "repairing") DeleteFileW((target + L"\\data\\29.bin").c_str());
    harness::RunResult run = harness::run(start.executable, start.options(L" --quick"));
    EXPECT_EQ(run.exitCode, 0u) << kind << " start: " << run.out << run.err;
    EXPECT_EQ(harness::treeDifference(harness::binPath(L"progress-app"), target), "") << kind << " start";
    EXPECT_EQ(start.markers(), "") << kind << " start";
  }
}

// A first start held up by a file of the cache held without sharing shows its
// progress window; once the file is free the program's own window comes.
TEST(PlantedLibraries, NoneRunsInAStartShowingItsProgressWindow) {
  PlantedStart start(L"progress-app.exe");
  std::wstring target = start.temp + L"\\progress-app";
  CreateDirectoryW(target.c_str(), nullptr);
  CreateDirectoryW((target + L"\\data").c_str(), nullptr);
  std::wstring heldPath = target + L"\\" + PROGRESS_APP_HELD_FILE;
  harness::writeFile(heldPath, "not yet");
  HANDLE held = CreateFileW(heldPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  harness::RunOptions options = start.options();
  options.noStandardHandles = true;
  HANDLE process = harness::start(start.executable, options);
  HWND window = harness::waitForWindowOf(process, PROGRESS_WINDOW_CLASS, 30000);
  CloseHandle(held);
  EXPECT_NE(window, nullptr) << "no progress window";
  HWND programWindow = nullptr;
  for (int i = 0; i < 3000 && programWindow == nullptr; ++i) {
    programWindow = FindWindowW(nullptr, PROGRESS_APP_WINDOW);
    if (programWindow == nullptr) Sleep(10);
  }
  EXPECT_NE(programWindow, nullptr) << "the program did not start";
  if (programWindow != nullptr) PostMessageW(programWindow, WM_CLOSE, 0, 0);
  EXPECT_EQ(harness::waitForExit(process, 30000), 0u);
  CloseHandle(process);
  EXPECT_EQ(start.markers(), "");
}

// Started as Explorer starts a program, a start that fails shows its report
// in a message box until it is answered.
TEST(PlantedLibraries, NoneRunsInAFailingWindowedStartShowingItsMessageBox) {
  PlantedStart start(L"report-window-app.exe");
  harness::RunOptions options = start.options();
  options.noStandardHandles = true;
  options.creationFlags = DETACHED_PROCESS;
  HANDLE process = harness::start(start.executable, options);
  HWND box = harness::waitForWindowOf(process, nullptr, 30000);
  EXPECT_NE(box, nullptr) << "no message box";
  if (box != nullptr) PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(harness::waitForExit(process, 30000), STATUS_ABORTED);
  CloseHandle(process);
  EXPECT_EQ(start.markers(), "");
}

// A console program's build typed at a command prompt in the planted folder.
TEST(PlantedLibraries, NoneRunsInAConsoleStartFromCmd) {
  PlantedStart start(L"child-bootstrap-console.exe");
  wchar_t system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  harness::RunOptions options = start.options();
  options.commandLine = L"cmd.exe /c \"" + start.executable + L"\"";
  options.environment.push_back({L"CHILD_EXIT_CODE", std::to_wstring(CONSOLE_STATUS)});
  harness::RunResult run = harness::run(std::wstring(system) + L"\\cmd.exe", options);
  EXPECT_EQ(run.exitCode, CONSOLE_STATUS) << run.out << run.err;
  EXPECT_EQ(start.markers(), "");
}

}  // namespace
