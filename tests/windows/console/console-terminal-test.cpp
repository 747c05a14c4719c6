// The console set-up on a console that a real terminal backs, which only
// `script` gives a Wine program here: this program runs as one test under it
// (see CMakeLists.txt). Each case clears the console and reads back what the
// programs it started left on the screen.
//
// What Wine 8 does for a GUI program started here with DETACHED_PROCESS: it
// has no console and its three stream descriptors are -2. AttachConsole then
// succeeds and sets all three standard handles to the console's, even where
// the starter handed null ones. The runtime's freopen and _wfreopen refuse a
// stream whose descriptor is negative (Windows' reopen it), so the streams
// stay without descriptors and only the standard handles lead to the console:
// the null-device step cannot be seen here.
//
// A console-subsystem bootstrap (a console program's build) started from
// this console has it from its first instruction: its attach fails, and its
// standard handles are the ones it was given. Started detached it has none
// and attaches as the GUI one does; given a console of its own (as Windows
// gives one started from Explorer) it and its child use that one.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bootstrap/console.h"
#include "probe-state.h"

namespace {

using Lines = std::vector<std::string>;

HANDLE consoleOutput() { return GetStdHandle(STD_OUTPUT_HANDLE); }
HANDLE consoleInput() { return GetStdHandle(STD_INPUT_HANDLE); }

class TerminalConsole : public testing::Test {
 protected:
  void SetUp() override {
    DWORD mode = 0;
    ASSERT_TRUE(GetConsoleMode(consoleOutput(), &mode)) << "no console that a terminal backs (run under script)";
    clearScreen();
  }

  void clearScreen() {
    CONSOLE_SCREEN_BUFFER_INFO screen;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(consoleOutput(), &screen));
    width = screen.dwSize.X;
    DWORD cells = (DWORD)screen.dwSize.X * screen.dwSize.Y, written = 0;
    FillConsoleOutputCharacterW(consoleOutput(), L' ', cells, {0, 0}, &written);
    SetConsoleCursorPosition(consoleOutput(), {0, 0});
    FlushConsoleInputBuffer(consoleInput());
  }

  // The screen's rows from the top to the cursor, without trailing blanks;
  // the cursor's own row only when something is on it.
  Lines screenLines() const {
    CONSOLE_SCREEN_BUFFER_INFO screen;
    GetConsoleScreenBufferInfo(consoleOutput(), &screen);
    Lines lines;
    std::string row(width, ' ');
    for (SHORT y = 0; y <= screen.dwCursorPosition.Y; ++y) {
      DWORD read = 0;
      ReadConsoleOutputCharacterA(consoleOutput(), row.data(), width, {0, y}, &read);
      std::string text = row.substr(0, read);
      text.erase(text.find_last_not_of(' ') + 1);
      if (y < screen.dwCursorPosition.Y || !text.empty()) lines.push_back(text);
    }
    return lines;
  }

  // Puts a typed line (ended by Enter) into the console's input.
  static void typeLine(const std::wstring& text) {
    std::vector<INPUT_RECORD> records;
    for (wchar_t c : text + L"\r") {
      for (BOOL down : {TRUE, FALSE}) {
        INPUT_RECORD record = {};
        record.EventType = KEY_EVENT;
        record.Event.KeyEvent.bKeyDown = down;
        record.Event.KeyEvent.wRepeatCount = 1;
        record.Event.KeyEvent.wVirtualKeyCode = c == L'\r' ? VK_RETURN : 0;
        record.Event.KeyEvent.uChar.UnicodeChar = c;
        records.push_back(record);
      }
    }
    DWORD written = 0;
    ASSERT_TRUE(WriteConsoleInputW(consoleInput(), records.data(), (DWORD)records.size(), &written));
  }

  // Started as a launcher starts a program it detaches: no console of its
  // own, no standard handles. Other creation flags start it otherwise.
  static DWORD runDetached(const std::wstring& program, harness::RunOptions options,
                           DWORD creationFlags = DETACHED_PROCESS) {
    options.creationFlags = creationFlags;
    options.noStandardHandles = true;
    HANDLE process = harness::start(program, options);
    DWORD status = harness::waitForExit(process);
    CloseHandle(process);
    return status;
  }

  // The bootstraps below unpack below {TEMP}: a folder of each test's own.
  static harness::RunOptions withOwnTemp() {
    std::wstring temp = harness::freshTestDir(L"-temp");
    harness::RunOptions options;
    harness::pointTempAt(&options, temp);
    return options;
  }

  SHORT width = 0;
};

// How a bootstrap is started: the GUI one detached, the console one detached
// and from this console.
struct StartCase {
  const wchar_t* bootstrap;
  DWORD creationFlags;
};
const StartCase BOOTSTRAP_STARTS[] = {{L"child-bootstrap.exe", DETACHED_PROCESS},
                                      {L"child-bootstrap-console.exe", DETACHED_PROCESS},
                                      {L"child-bootstrap-console.exe", 0}};

TEST_F(TerminalConsole, ADetachedBootstrapsReportReachesTheTerminalWhole) {
  DWORD status = runDetached(harness::binPath(L"bad-magic.exe"), withOwnTemp());
  EXPECT_EQ(screenLines(), (Lines{"Error, couldn't find attached data header."}));
  EXPECT_EQ(status, 2u);
}

// Either bootstrap started detached, and the console one started from this
// console: the child reads and writes the terminal, and its status comes back.
TEST_F(TerminalConsole, ABootstrapsChildWritesToAndReadsFromTheTerminal) {
  for (const StartCase& c : BOOTSTRAP_STARTS) {
    SCOPED_TRACE(harness::narrow(c.bootstrap) + " with creation flags " + std::to_string(c.creationFlags));
    clearScreen();
    harness::RunOptions options = withOwnTemp();
    std::wstring report = harness::freshTestDir() + L"\\report.txt";
    options.environment.push_back({L"CHILD_REPORT_FILE", report});
    options.environment.push_back({L"CHILD_READ_INPUT", L"line"});
    options.environment.push_back({L"CHILD_WRITE_OUTPUT", L"1"});
    options.environment.push_back({L"CHILD_WRITE_ERROR", L"1"});
    options.environment.push_back({L"CHILD_EXIT_CODE", L"0xC0000005"});
    typeLine(L"typed line");
    DWORD status = runDetached(harness::binPath(c.bootstrap), options, c.creationFlags);

    ChildReport childReport = parseChildReport(harness::readFile(report));
    EXPECT_EQ(harness::narrow(childReport.value("input")), "typed line\r\n");
    Lines lines = screenLines();
    auto output = std::find(lines.begin(), lines.end(), "test-child output line");
    auto error = std::find(lines.begin(), lines.end(), "test-child error line");
    EXPECT_TRUE(output != lines.end() && error != lines.end() && output < error) << testing::PrintToString(lines);
    EXPECT_EQ(status, 0xC0000005u);
  }
}

// Given a console of its own, the console bootstrap's child shares it: what
// the child writes stays off this console, and the child's status comes back.
TEST_F(TerminalConsole, AConsoleBootstrapGivenANewConsoleKeepsItsChildOnIt) {
  harness::RunOptions options = withOwnTemp();
  std::wstring report = harness::freshTestDir() + L"\\report.txt";
  options.environment.push_back({L"CHILD_REPORT_FILE", report});
  options.environment.push_back({L"CHILD_WRITE_OUTPUT", L"1"});
  options.environment.push_back({L"CHILD_EXIT_CODE", L"0xC0000005"});
  DWORD status = runDetached(harness::binPath(L"child-bootstrap-console.exe"), options, CREATE_NEW_CONSOLE);
  EXPECT_TRUE(parseChildReport(harness::readFile(report)).complete);
  EXPECT_TRUE(screenLines().empty()) << testing::PrintToString(screenLines());
  EXPECT_EQ(status, 0xC0000005u);
}

// The repaired streams lead to the console, and the standard handles the
// child would inherit are open console handles (input among them).
TEST_F(TerminalConsole, ADetachedProbesHandlesAreTheConsolesAndItsReportsComeInOrder) {
  harness::RunOptions options;
  std::wstring statePath = askForProbeState(&options);
  options.environment.push_back({L"CONSOLE_PROBE_REPORTS", L"1"});
  DWORD status = runDetached(consoleProbePath(), options);
  EXPECT_EQ(screenLines(), (Lines{"Error, failed to open 'C:\\probe\\file' for writing.",
                                  "Error, couldn't find attached data header."}));
  EXPECT_EQ(status, 2u);
  ChildReport state = parseChildReport(harness::readFile(statePath));
  ASSERT_TRUE(state.complete);
  EXPECT_EQ(state.value("standardIsConsoleInput.0"), L"1");
  EXPECT_EQ(state.value("standardIsConsole.1"), L"1");
  EXPECT_EQ(state.value("standardIsConsole.2"), L"1");
}

// Redirected by a console parent: the attach succeeds but every stream has
// its descriptor, so nothing is reopened and nothing reaches the console.
TEST_F(TerminalConsole, RedirectedStreamsOfADetachedProbeStayOnTheirPipes) {
  harness::RunOptions options;
  options.creationFlags = DETACHED_PROCESS;
  options.errorToOutput = true;
  options.input = "given input";
  options.environment = {{L"CONSOLE_PROBE_STREAMS", L"1"}, {L"CONSOLE_PROBE_REPORTS", L"1"}};
  ProbeRun run = runConsoleProbe(options);
  ASSERT_TRUE(run.state.complete);
  EXPECT_TRUE(descriptorsUnchanged(run.state));
  for (const char* stream : {"0", "1", "2"})
    EXPECT_EQ(run.state.value(std::string("handleBehindIsStandard.") + stream), L"1") << stream;
  EXPECT_EQ(run.result.out,
            "stream output line\r\nstream error line\r\n"
            "Error, failed to open 'C:\\probe\\file' for writing.\r\n"
            "Error, couldn't find attached data header.\r\n");
  EXPECT_EQ(run.result.exitCode, 2u);
  EXPECT_TRUE(screenLines().empty()) << testing::PrintToString(screenLines());
}

// The handles a bootstrap was given reach its child, on this console or not.
TEST_F(TerminalConsole, RedirectedStreamsOfABootstrapReachItsChild) {
  for (const StartCase& c : BOOTSTRAP_STARTS) {
    SCOPED_TRACE(harness::narrow(c.bootstrap) + " with creation flags " + std::to_string(c.creationFlags));
    harness::RunOptions options = withOwnTemp();
    options.creationFlags = c.creationFlags;
    options.input = "piped input\n";
    options.environment.push_back({L"CHILD_READ_INPUT", L"1"});
    options.environment.push_back({L"CHILD_WRITE_ERROR", L"1"});
    options.environment.push_back({L"CHILD_EXIT_CODE", L"256"});
    harness::RunResult result = harness::run(harness::binPath(c.bootstrap), options);
    ChildReport report = parseChildReport(result.out);
    ASSERT_TRUE(report.complete) << result.out << result.err;
    EXPECT_EQ(harness::narrow(report.value("input")), "piped input\n");
    EXPECT_EQ(result.err, "test-child error line\n");
    EXPECT_EQ(result.exitCode, 256u);
    EXPECT_TRUE(screenLines().empty()) << testing::PrintToString(screenLines());
  }
}

// On a real console handle: exactly the wanted bits are added to the mode it
// had, and none is taken away.
TEST_F(TerminalConsole, AdjustConsoleModeRaisesExactlyTheWantedBitsOfARealConsole) {
  HANDLE output = consoleOutput(), input = consoleInput();
  DWORD savedOutput = 0, savedInput = 0, mode = 0;
  ASSERT_TRUE(GetConsoleMode(output, &savedOutput));
  ASSERT_TRUE(GetConsoleMode(input, &savedInput));

  ASSERT_TRUE(SetConsoleMode(output, ENABLE_WRAP_AT_EOL_OUTPUT));
  adjustConsoleMode(output, false);
  GetConsoleMode(output, &mode);
  EXPECT_EQ(mode, (DWORD)(ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING));

  DWORD inputBefore = ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_EXTENDED_FLAGS;
  ASSERT_TRUE(SetConsoleMode(input, inputBefore));
  adjustConsoleMode(input, true);
  GetConsoleMode(input, &mode);
  EXPECT_EQ(mode, inputBefore | ENABLE_PROCESSED_INPUT | ENABLE_VIRTUAL_TERMINAL_INPUT);

  SetConsoleMode(output, savedOutput);
  SetConsoleMode(input, savedInput);
}

}  // namespace
