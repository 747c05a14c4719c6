// Real bootstraps: the expansion and the target directory in the start-up
// sequence. Each run gets folders of its own as current and temporary folder.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

using Environment = std::vector<std::pair<std::wstring, std::optional<std::wstring>>>;

struct BootstrapRun {
  std::wstring folder;
  harness::RunResult result;
};

BootstrapRun runBootstrap(const std::wstring& name, const Environment& environment) {
  BootstrapRun run;
  run.folder = harness::freshTestDir();
  harness::RunOptions options;
  options.currentDirectory = run.folder;
  options.environment = environment;
  harness::pointTempAt(&options, run.folder);
  run.result = harness::run(harness::binPath(name), options);
  return run;
}

struct Scene {
  const wchar_t* program;
  Environment environment;
  const char* out;
  const char* err;
  DWORD exitCode;
};

const std::wstring TOO_LONG(5000, L'9');

// Each scene ends before the payload is unpacked and leaves nothing behind.
const Scene SCENES[] = {
    // An unknown placeholder is reported with the template and ends the run abnormally.
    {L"paths-unknown-placeholder.exe", {}, "", "Error, couldn't runtime expand spec '{NOPE}\\x'.\r\n", 3},
    // Inherited run values far too long for the target directory, and a parent
    // ID that {PID} would refuse: if any of them reached the expansion, the run
    // would end with status 4. Dropped at start-up, the expansion succeeds with
    // fresh values and the run goes on to the payload, whose magic is wrong.
    {L"paths-run-values.exe",
     {{L"TRAVIK_ONEFILE_START", TOO_LONG},
      {L"TRAVIK_ONEFILE_TIME_US", TOO_LONG},
      {L"TRAVIK_ONEFILE_RANDOM", TOO_LONG},
      {L"TRAVIK_ONEFILE_PARENT", L"not a process ID"}},
     "Error, couldn't find attached data header.\r\n", "", 2},
    // The template expands (4091 units) but is relative: made absolute against
    // the current directory it needs more than 4095 units, which ends the run
    // silently before the payload is touched.
    {L"paths-long-relative.exe", {}, "", "", 4},
};

TEST(EndToEnd, EachSceneEndsBeforeThePayloadWithItsReportAndStatus) {
  for (const Scene& scene : SCENES) {
    SCOPED_TRACE(harness::narrow(scene.program));
    BootstrapRun run = runBootstrap(scene.program, scene.environment);
    EXPECT_EQ(run.result.out, scene.out);
    EXPECT_EQ(run.result.err, scene.err);
    EXPECT_EQ(run.result.exitCode, scene.exitCode);
    EXPECT_TRUE(harness::listTree(run.folder).empty());
  }
}

}  // namespace
