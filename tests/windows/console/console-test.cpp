// The console set-up without a console to attach to (ctest gives none), and
// the console-mode rules on a console whose answers the test controls.
#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "bootstrap/console-seams.h"
#include "bootstrap/console.h"
#include "probe-state.h"

namespace {

// A console that holds one mode and refuses any request with a refused bit.
struct FakeConsole {
  bool isConsole = true;
  DWORD mode = 0;
  DWORD refusedBits = 0;
  std::vector<DWORD> requests;
};
FakeConsole fake;

BOOL WINAPI fakeGetMode(HANDLE, LPDWORD mode) {
  *mode = fake.mode;
  return fake.isConsole;
}

BOOL WINAPI fakeSetMode(HANDLE, DWORD mode) {
  fake.requests.push_back(mode);
  if (mode & fake.refusedBits) return FALSE;
  fake.mode = mode;
  return TRUE;
}

class AdjustConsoleMode : public testing::Test {
 protected:
  void SetUp() override {
    saved = consoleModeCalls;
    consoleModeCalls = {fakeGetMode, fakeSetMode};
    fake = FakeConsole{};
  }
  void TearDown() override { consoleModeCalls = saved; }
  ConsoleModeCalls saved;
};

TEST_F(AdjustConsoleMode, AddsTheVirtualTerminalBitsToTheModeItHad) {
  fake.mode = 0x10;
  adjustConsoleMode(nullptr, false);
  EXPECT_EQ(fake.requests, (std::vector<DWORD>{0x17}));
  fake = FakeConsole{};
  fake.mode = 0x80;
  adjustConsoleMode(nullptr, true);
  EXPECT_EQ(fake.requests, (std::vector<DWORD>{0x281}));
}

TEST_F(AdjustConsoleMode, FallsBackFromTheModeItReadWhenTheVirtualTerminalBitsAreRefused) {
  fake.mode = 0x10;
  fake.refusedBits = ENABLE_VIRTUAL_TERMINAL_PROCESSING;
  adjustConsoleMode(nullptr, false);
  EXPECT_EQ(fake.requests, (std::vector<DWORD>{0x17, 0x13}));
  EXPECT_EQ(fake.mode, 0x13u);

  fake = FakeConsole{};
  fake.mode = 0x80;
  fake.refusedBits = ENABLE_VIRTUAL_TERMINAL_INPUT;
  adjustConsoleMode(nullptr, true);
  EXPECT_EQ(fake.requests, (std::vector<DWORD>{0x281, 0x81}));
  EXPECT_EQ(fake.mode, 0x81u);
}

TEST_F(AdjustConsoleMode, AsksNothingOfAHandleThatIsNoConsole) {
  fake.isConsole = false;
  adjustConsoleMode(nullptr, false);
  adjustConsoleMode(nullptr, true);
  EXPECT_TRUE(fake.requests.empty());
}

// Started by a program without a console: the streams keep the pipes they
// were given and each standard handle is the handle behind its stream.
TEST(ConsoleWithoutParentConsole, LeavesTheStreamsAndSetsEachStandardHandleToTheOneBehindIt) {
  harness::RunOptions options;
  options.input = "given input";
  ProbeRun run = runConsoleProbe(options);
  ASSERT_TRUE(run.state.complete) << run.result.out << run.result.err;
  EXPECT_TRUE(descriptorsUnchanged(run.state));
  for (const char* stream : {"0", "1", "2"}) {
    std::string suffix = std::string(".") + stream;
    EXPECT_EQ(run.state.value("handleBehindIsStandard" + suffix), L"1") << stream;
    EXPECT_EQ(run.state.value("standardType" + suffix), std::to_wstring(FILE_TYPE_PIPE)) << stream;
    EXPECT_EQ(run.state.value("standardIsConsole" + suffix), L"0") << "no console device: " << stream;
  }
  EXPECT_EQ(run.result.exitCode, 0u);
}

// Standard error goes to the output pipe, so that the order shows.
harness::RunResult runMerged(std::vector<std::pair<std::wstring, std::optional<std::wstring>>> environment) {
  harness::RunOptions options;
  options.errorToOutput = true;
  options.environment = std::move(environment);
  return runConsoleProbe(options).result;
}

// Standard output must be unbuffered: the probe ends with _exit, which
// flushes nothing, and its stream line must come before the reports.
TEST(ConsoleWithoutParentConsole, StreamLinesAndReportsArriveWholeAndInOrder) {
  harness::RunResult result = runMerged({{L"CONSOLE_PROBE_STREAMS", L"1"}, {L"CONSOLE_PROBE_REPORTS", L"1"}});
  EXPECT_EQ(result.out,
            "stream output line\r\nstream error line\r\n"
            "Error, failed to open 'C:\\probe\\file' for writing.\r\n"
            "Error, couldn't find attached data header.\r\n");
  EXPECT_EQ(result.exitCode, 2u);

  // A stream switched to UTF-8 translation refuses (Windows) or garbles
  // (Wine) narrow text: reports still arrive byte for byte, U+00E9 as one byte.
  result = runMerged({{L"CONSOLE_PROBE_U8TEXT", L"1"}, {L"CONSOLE_PROBE_REPORTS", L"1"}});
  EXPECT_EQ(result.out,
            "Error, failed to open 'C:\\probe\\caf\xe9' for writing.\r\n"
            "Error, couldn't find attached data header.\r\n");
  EXPECT_EQ(result.exitCode, 2u);
}

// No console and no handles (started from the desktop, say): the streams
// stay without descriptors and the standard handles become INVALID_HANDLE_VALUE.
TEST(ConsoleWithoutParentConsole, StreamsWithoutHandlesLeaveInvalidStandardHandles) {
  harness::RunOptions options;
  options.noStandardHandles = true;
  options.creationFlags = DETACHED_PROCESS;
  std::wstring statePath = askForProbeState(&options);
  HANDLE probe = harness::start(consoleProbePath(), options);
  EXPECT_EQ(harness::waitForExit(probe), 0u);
  CloseHandle(probe);
  ChildReport state = parseChildReport(harness::readFile(statePath));
  ASSERT_TRUE(state.complete);
  EXPECT_TRUE(descriptorsUnchanged(state));
  for (const char* stream : {"0", "1", "2"}) {
    std::string suffix = std::string(".") + stream;
    EXPECT_LT(std::stoi(state.value("descriptorAfter" + suffix)), 0) << stream;
    EXPECT_EQ(state.value("standardType" + suffix), L"invalid") << stream;
    EXPECT_EQ(state.value("handleBehindIsStandard" + suffix), L"1") << stream;
  }
}

}  // namespace
