#include <gtest/gtest.h>

#include "harness.h"

namespace {

// A payload with a wrong magic, and the bare stub that carries no attached
// data at all: both say so on standard output before anything is created.
TEST(Startup, AMissingOrWrongHeaderIsReportedOnStandardOutputBeforeAnythingIsCreated) {
  for (const wchar_t* program : {L"bad-magic.exe", L"bare-stub.exe"}) {
    std::wstring temp = harness::freshTestDir();
    harness::RunOptions options;
    harness::pointTempAt(&options, temp);
    harness::RunResult result = harness::run(harness::binPath(program), options);
    EXPECT_EQ(result.out, "Error, couldn't find attached data header.\r\n") << program;
    EXPECT_EQ(result.err, "") << program;
    EXPECT_EQ(result.exitCode, 2u) << program;
    EXPECT_TRUE(harness::listTree(temp).empty()) << program;
  }
}

}  // namespace
