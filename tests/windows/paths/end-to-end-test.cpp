// Real bootstraps: the expansion and the target directory in the start-up
// sequence. Each run gets folders of its own as current and temporary folder.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

struct BootstrapRun {
  std::wstring folder;
  harness::RunResult result;
};

BootstrapRun runBootstrap(const std::wstring& name,
                 std::vector<std::pair<std::wstring, std::optional<std::wstring>>> environment = {}) {
  BootstrapRun run;
  run.folder = harness::freshTestDir();
  harness::RunOptions options;
  options.currentDirectory = run.folder;
  options.environment = environment;
  harness::pointTempAt(&options, run.folder);
  run.result = harness::run(harness::binPath(name), options);
  return run;
}

TEST(EndToEnd, AnUnknownPlaceholderIsReportedWithTheTemplateAndEndsAbnormally) {
  BootstrapRun run = runBootstrap(L"paths-unknown-placeholder.exe");
  EXPECT_EQ(run.result.err, "Error, couldn't runtime expand spec '{NOPE}\\x'.\r\n");
  EXPECT_EQ(run.result.out, "");
  EXPECT_EQ(run.result.exitCode, 3u);
  EXPECT_TRUE(harness::listTree(run.folder).empty());
}

// Inherited run values far too long for the target directory, and a parent
// ID that {PID} would refuse: if any of them reached the expansion, the run
// would end with status 4. Dropped at start-up, the expansion succeeds with
// fresh values and the run goes on to the payload, whose magic is wrong.
TEST(EndToEnd, InheritedRunValuesNeverReachTheExpansion) {
  std::wstring tooLong(5000, L'9');
  BootstrapRun run = runBootstrap(L"paths-run-values.exe", {{L"TRAVIK_ONEFILE_START", tooLong},
                                                   {L"TRAVIK_ONEFILE_TIME_US", tooLong},
                                                   {L"TRAVIK_ONEFILE_RANDOM", tooLong},
                                                   {L"TRAVIK_ONEFILE_PARENT", L"not a process ID"}});
  EXPECT_EQ(run.result.out, "Error, couldn't find attached data header.\r\n");
  EXPECT_EQ(run.result.err, "");
  EXPECT_EQ(run.result.exitCode, 2u);
  EXPECT_TRUE(harness::listTree(run.folder).empty());
}

// The template expands (4091 units) but is relative: made absolute against
// the current directory it needs more than 4095 units, which ends the run
// before the payload is touched.
TEST(EndToEnd, ATargetDirectoryTooLongWhenMadeAbsoluteEndsTheRunSilently) {
  BootstrapRun run = runBootstrap(L"paths-long-relative.exe");
  EXPECT_EQ(run.result.out, "");
  EXPECT_EQ(run.result.err, "");
  EXPECT_EQ(run.result.exitCode, 4u);
  EXPECT_TRUE(harness::listTree(run.folder).empty());
}

}  // namespace
