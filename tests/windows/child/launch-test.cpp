// launchChild in a real process: the launch probe starts the test child with
// its own command line, environment, standard handles and current folder,
// and ends with what launchChild returned.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "awkward-arguments.h"
#include "child-report.h"
#include "harness.h"

namespace {

using harness::RunOptions;
using harness::RunResult;
using Elements = std::vector<std::wstring>;

constexpr DWORD CTRL_C_EXIT_STATUS = 0xC000013A;

std::wstring probePath() { return harness::binPath(L"launch-probe.exe"); }

// Runs the probe as if typed with the name `typed` and the given arguments.
RunResult runProbe(const std::wstring& typed, const Elements& arguments, RunOptions options = {},
                   const std::wstring& program = probePath()) {
  options.commandLine = harness::quoteArgument(typed);
  for (const std::wstring& argument : arguments) options.commandLine += L" " + harness::quoteArgument(argument);
  return harness::run(program, options);
}

// The system's text for code as a launch failure report shows it.
std::string launchFailureReport(DWORD code) { return harness::systemErrorReport("Error, couldn't launch child", code); }

// What the system says when asked to start file: the code a launch failure
// must report.
DWORD launchErrorFor(const std::wstring& file) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  wchar_t commandLine[] = L"never-started";
  if (CreateProcessW(file.c_str(), commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    TerminateProcess(process.hProcess, 0);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return 0;
  }
  return GetLastError();
}

TEST(Launch, HandsOnEveryArgumentWithTheBootstrapsOwnPathAsArgumentZero) {
  RunResult result = runProbe(L"typed name", AWKWARD_ARGUMENTS);
  ChildReport report = parseChildReport(result.out);
  ASSERT_TRUE(report.complete) << result.out << result.err;
  Elements expected = {probePath()};
  expected.insert(expected.end(), AWKWARD_ARGUMENTS.begin(), AWKWARD_ARGUMENTS.end());
  EXPECT_EQ(report.values("argument"), expected) << "as CommandLineToArgvW splits it";
  EXPECT_EQ(report.values("runtimeArgument"), expected) << "as the child's C runtime splits it";
  EXPECT_EQ(result.exitCode, 0u);
}

TEST(Launch, SetsTheLaunchVariablesAndPassesTheRestOfTheEnvironment) {
  RunOptions options;
  options.environment = {{L"TRAVIK_ONEFILE_PARENT", L"4242"},
                         {L"TRAVIK_ONEFILE_DIRECTORY", L"inherited"},
                         {L"TRAVIK_ORIGINAL_ARGV0", L"inherited"}};
  RunResult result = runProbe(L".\\Typed Name", {L"x"}, options);
  ChildReport report = parseChildReport(result.out);
  ASSERT_TRUE(report.complete) << result.out << result.err;
  EXPECT_EQ(report.value("variable.TRAVIK_ONEFILE_DIRECTORY"), harness::binDir()) << "no trailing backslash";
  EXPECT_EQ(report.value("variable.TRAVIK_ORIGINAL_ARGV0"), L".\\Typed Name") << "the name as typed";
  EXPECT_EQ(report.value("variable.TRAVIK_ONEFILE_PARENT"), L"4242");
}

TEST(Launch, GivesTheDirectoryVariableAsTheBareDriveForABootstrapInADriveRoot) {
  const std::wstring rootProbe = L"C:\\onefile-child-root-probe.exe";
  ASSERT_TRUE(CopyFileW(probePath().c_str(), rootProbe.c_str(), FALSE));
  RunOptions options;
  options.environment = {{L"PROBE_FIRST_FILE", harness::binPath(L"test-child.exe")}};
  RunResult result = runProbe(L"root-probe", {}, options, rootProbe);
  DeleteFileW(rootProbe.c_str());
  ChildReport report = parseChildReport(result.out);
  ASSERT_TRUE(report.complete) << result.out << result.err;
  EXPECT_EQ(report.value("variable.TRAVIK_ONEFILE_DIRECTORY"), L"C:");
  EXPECT_EQ(report.value("argument"), rootProbe);
}

TEST(Launch, StartsTheChildInTheCurrentFolderWithTheStandardHandles) {
  RunOptions options;
  options.currentDirectory = harness::freshTestDir();
  options.input = "first line\nsecond line\n";
  options.environment = {{L"CHILD_READ_INPUT", L"1"}, {L"CHILD_WRITE_ERROR", L"1"}};
  RunResult result = runProbe(L"probe", {}, options);
  ChildReport report = parseChildReport(result.out);  // the child's standard output
  ASSERT_TRUE(report.complete) << result.out << result.err;
  EXPECT_EQ(report.value("currentDirectory"), options.currentDirectory);
  EXPECT_EQ(harness::narrow(report.value("input")), options.input);
  EXPECT_EQ(result.err, "test-child error line\n");
}

TEST(Launch, EndsWithTheChildsExitStatusUnchanged) {
  for (DWORD status : {0x0u, 0x1u, 0xFFu, 0x100u, 0x7FFFFFFFu, 0x80000000u, 0xC0000005u, 0xFFFFFFFFu}) {
    RunOptions options;
    options.environment = {{L"CHILD_EXIT_CODE", std::to_wstring(status)}};
    RunResult result = runProbe(L"probe", {}, options);
    EXPECT_EQ(result.exitCode, status);
    EXPECT_TRUE(parseChildReport(result.out).complete);
  }
}

// Another start rewriting the program holds it without sharing, and the
// system refuses to start it then (error 32): the launch waits until the
// writer lets go (here after 1.5 s), then starts it.
TEST(Launch, WaitsOutAWriterHoldingTheProgramThenStartsIt) {
  std::wstring program = harness::freshTestDir() + L"\\test-child.exe";
  ASSERT_TRUE(CopyFileW(harness::binPath(L"test-child.exe").c_str(), program.c_str(), FALSE));
  HANDLE writer = CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  HANDLE release = CreateThread(
      nullptr, 0, [](void* file) -> DWORD { return Sleep(1500), CloseHandle(file); }, writer, 0, nullptr);
  RunOptions options;
  options.environment = {{L"PROBE_FIRST_FILE", program}};
  RunResult result = runProbe(L"probe", {}, options);
  WaitForSingleObject(release, INFINITE);
  CloseHandle(release);
  EXPECT_TRUE(parseChildReport(result.out).complete) << result.out << result.err;
  EXPECT_EQ(result.exitCode, 0u);
}

TEST(Launch, ReportsAFirstFileThatIsNoProgramWithTheSystemsErrorAndStatus2) {
  std::wstring notAProgram = harness::freshTestDir() + L"\\not-a-program.exe";
  harness::writeFile(notAProgram, "just some text\r\n");
  DWORD expectedCode = launchErrorFor(notAProgram);
  ASSERT_NE(expectedCode, 0u);
  RunOptions options;
  options.environment = {{L"PROBE_FIRST_FILE", notAProgram}};
  RunResult result = runProbe(L"probe", {}, options);
  EXPECT_EQ(result.err, launchFailureReport(expectedCode));
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.exitCode, 2u);
}

TEST(Launch, ReportsAnEmptyFirstFilePathWithTheSystemsErrorAndStatus2) {
  DWORD expectedCode = launchErrorFor(L"");
  ASSERT_NE(expectedCode, 0u);
  RunOptions options;
  options.environment = {{L"PROBE_NO_FIRST_FILE", L"1"}};
  RunResult result = runProbe(L"probe", {}, options);
  EXPECT_EQ(result.err, launchFailureReport(expectedCode));
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.exitCode, 2u);
}

// Arguments for a probe typed as "p": argument 0 becomes the probe's full
// path, so the rebuilt line is longer than the one the probe was given.
Elements argumentsForRebuiltLineOf(size_t units) {
  size_t programUnits = harness::quoteArgument(probePath()).size();
  return {std::wstring(units - programUnits - 1, L'a')};
}

TEST(Launch, CarriesARebuiltLineOfExactly32767Units) {
  Elements arguments = argumentsForRebuiltLineOf(32767);
  RunResult result = runProbe(L"p", arguments);
  if (result.exitCode == 2) {
    // Windows refuses a line this long, terminator included: then the launch is reported.
    EXPECT_EQ(result.err.rfind("Error, couldn't launch child ([Error ", 0), 0u) << result.err;
    return;
  }
  ChildReport report = parseChildReport(result.out);
  ASSERT_TRUE(report.complete) << result.err;
  std::wstring expected = harness::quoteArgument(probePath()) + L" " + arguments[0];
  ASSERT_EQ(expected.size(), 32767u);
  // Wine starts the child with the first 32766 units of a longer line.
  std::wstring received = report.value("commandLine");
  EXPECT_GE(received.size(), 32766u);
  EXPECT_TRUE(expected.compare(0, received.size(), received) == 0) << "the line differs, not only in length";
  EXPECT_EQ(result.exitCode, 0u);
}

TEST(Launch, EndsTheRunWithoutAMessageWhenTheRebuiltLineNeedsOneUnitMore) {
  RunResult result = runProbe(L"p", argumentsForRebuiltLineOf(32768));
  EXPECT_EQ(result.exitCode, 4u);
  EXPECT_EQ(result.out, "") << "no child may start";
  EXPECT_EQ(result.err, "");
}

TEST(Launch, AControlEventDuringTheWaitEndsAChildThatIgnoresItWithTheCtrlCStatus) {
  RunOptions options;
  options.environment = {{L"PROBE_EVENT", L"0"}, {L"CHILD_ON_EVENT", L"ignore"}};
  RunResult result = runProbe(L"probe", {}, options);
  EXPECT_TRUE(parseChildReport(result.out).complete);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, CTRL_C_EXIT_STATUS) << "the probe ends with the terminated child's status";
}

}  // namespace
