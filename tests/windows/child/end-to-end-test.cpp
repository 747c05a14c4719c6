// A real bootstrap carrying the test child as its application: unpacked into
// a cache below the test's own TEMP folder and started with the bootstrap's
// arguments, environment, current folder and handles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child-report.h"
#include "harness.h"

namespace {

using harness::RunOptions;
using harness::RunResult;
using Elements = std::vector<std::wstring>;

std::wstring bootstrapPath() { return harness::binPath(L"child-bootstrap.exe"); }

struct BootstrapRun {
  RunResult result;
  ChildReport report;
  std::wstring temp;
  std::wstring currentDirectory;
};

// Runs the bootstrap typed as `typed` with the given arguments, its cache
// under a TEMP folder of the test's own.
BootstrapRun runBootstrap(const std::wstring& typed, const Elements& arguments, RunOptions options = {}) {
  BootstrapRun run;
  run.temp = harness::freshTestDir(L"-temp");
  run.currentDirectory = harness::freshTestDir(L"-cwd");
  harness::pointTempAt(&options, run.temp);
  options.currentDirectory = run.currentDirectory;
  options.commandLine = harness::quoteArgument(typed);
  for (const std::wstring& argument : arguments) options.commandLine += L" " + harness::quoteArgument(argument);
  run.result = harness::run(bootstrapPath(), options);
  run.report = parseChildReport(run.result.out);
  return run;
}

TEST(ChildEndToEnd, StartsTheUnpackedChildWithTheBootstrapsArgumentsFolderAndVariables) {
  RunOptions options;
  // Values inherited from another bootstrap must not reach this run's child.
  options.environment = {{L"TRAVIK_ONEFILE_START", L"inherited"},
                         {L"TRAVIK_ONEFILE_TIME_US", L"inherited"},
                         {L"TRAVIK_ONEFILE_RANDOM", L"inherited"},
                         {L"TRAVIK_ONEFILE_PARENT", L"inherited"}};
  BootstrapRun run = runBootstrap(L"child-bootstrap", {L"one", L"two words", L""}, options);
  ASSERT_TRUE(run.report.complete) << run.result.out << run.result.err;
  const ChildReport& report = run.report;

  EXPECT_EQ(report.value("modulePath"), run.temp + L"\\child-app\\test-child.exe") << "the unpacked copy runs";
  EXPECT_EQ(report.values("argument"), (Elements{bootstrapPath(), L"one", L"two words", L""}));
  EXPECT_EQ(report.values("runtimeArgument"), (Elements{bootstrapPath(), L"one", L"two words", L""}));
  EXPECT_EQ(report.value("variable.TRAVIK_ORIGINAL_ARGV0"), L"child-bootstrap");
  EXPECT_EQ(report.value("variable.TRAVIK_ONEFILE_DIRECTORY"), harness::binDir());
  EXPECT_EQ(report.value("currentDirectory"), run.currentDirectory) << "not the target folder";
  EXPECT_EQ(report.value("variable.TRAVIK_ONEFILE_PARENT"), report.value("parentProcessId"))
      << "the bootstrap's own process ID";
  EXPECT_FALSE(report.has("variable.TRAVIK_ONEFILE_START"));
  EXPECT_FALSE(report.has("variable.TRAVIK_ONEFILE_TIME_US"));
  EXPECT_FALSE(report.has("variable.TRAVIK_ONEFILE_RANDOM"));
  EXPECT_EQ(run.result.exitCode, 0u);
}

TEST(ChildEndToEnd, EndsWithTheChildsExitStatusAndPassesTheStandardHandles) {
  RunOptions options;
  options.input = "typed input\n";
  options.environment = {{L"CHILD_EXIT_CODE", L"0xC0000005"}, {L"CHILD_READ_INPUT", L"1"}, {L"CHILD_WRITE_ERROR", L"1"}};
  BootstrapRun run = runBootstrap(L"child-bootstrap", {}, options);
  ASSERT_TRUE(run.report.complete) << run.result.out << run.result.err;
  EXPECT_EQ(harness::narrow(run.report.value("input")), options.input);
  EXPECT_EQ(run.result.err, "test-child error line\n");
  EXPECT_EQ(run.result.exitCode, 0xC0000005u);
}

}  // namespace
