#include <gtest/gtest.h>

#include "harness.h"

namespace {

TEST(Startup, AWrongMagicIsReportedOnStandardOutputBeforeAnythingIsCreated) {
  std::wstring temp = harness::freshTestDir();
  harness::RunOptions options;
  // The bootstrap's template unpacks below {TEMP}: a separate folder per test.
  options.environment = {{L"TMP", temp}, {L"TEMP", temp}};
  harness::RunResult result = harness::run(harness::binPath(L"bad-magic.exe"), options);
  EXPECT_EQ(result.out, "Error, couldn't find attached data header.\r\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 2u);
  EXPECT_TRUE(harness::listTree(temp).empty());
}

}  // namespace
