#include <gtest/gtest.h>

#include "harness.h"

namespace {

using harness::RunResult;
using harness::systemText;

// Text-mode streams write a line end as CR LF.
constexpr char NEWLINE[] = "\r\n";

RunResult probe(const std::wstring& arguments) {
  harness::RunOptions options;
  options.commandLine = L"report-probe.exe " + arguments;
  return harness::run(harness::binPath(L"report-probe.exe"), options);
}

TEST(FatalError, WritesEachMessageWithOneNewlineToStandardOutputAndExitsWith2) {
  const char* expected[] = {
      "Error, couldn't find attached data header.",
      "Error, couldn't allocate memory.",
      "Error, couldn't decode attached data.",
      "Error, failed to register signal handler.",
  };
  for (int i = 0; i < 4; ++i) {
    RunResult result = probe(L"fatal " + std::to_wstring(i));
    EXPECT_EQ(result.out, std::string(expected[i]) + NEWLINE);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 2u);
  }
}

TEST(ReportSystemError, TrimsTheSystemTextsLineEndsAndKeepsItsPeriod) {
  std::string raw = systemText(ERROR_FILE_NOT_FOUND);
  ASSERT_GE(raw.size(), 3u);
  ASSERT_EQ(raw.substr(raw.size() - 3), ".\r\n") << "the system's text should end in a period and CR LF";
  RunResult result = probe(L"system 0 2");
  EXPECT_EQ(result.err, "Error, couldn't unpack file to target path. ([Error 2] " + raw.substr(0, raw.size() - 2) +
                            ")" + NEWLINE);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.exitCode, 2u);
}

TEST(ReportSystemError, WritesCodesWithTheTopBitSetAsNegativeNumbers) {
  RunResult result = probe(L"system 1 0x80000000");
  EXPECT_EQ(result.err.rfind("Error, couldn't launch child ([Error -2147483648] ", 0), 0u) << result.err;
  result = probe(L"system 1 0xFFFFFFFF");
  EXPECT_EQ(result.err.rfind("Error, couldn't launch child ([Error -1] ", 0), 0u) << result.err;
}

TEST(ReportSystemError, LeavesTheTextEmptyForACodeTheSystemHasNoTextFor) {
  RunResult result = probe(L"system 1 0x2FFFFFF0");
  EXPECT_EQ(result.err, std::string("Error, couldn't launch child ([Error 805306352] )") + NEWLINE);
  EXPECT_EQ(result.exitCode, 2u);
}

TEST(ReportWithWideText, StopsTheArgumentAtTheFirstUnitAboveFFButFinishesTheMessage) {
  // U+00E9 passes as the single byte E9; U+4E2D ends the path, not the report.
  RunResult result = probe(L"wide 0 \"C:\\caf\u00e9\\\u4e2d\u6587\\x.exe\"");
  EXPECT_EQ(result.err, std::string("Error, failed to open 'C:\\caf\xe9\\' for writing.") + NEWLINE);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.exitCode, 2u);
}

TEST(ReportExpansionFailure, NamesTheTemplateAndEndsAbnormallyWithoutAnyOtherText) {
  RunResult result = probe(L"expansion {CACHE_DIR}\\Quorvane\\{VERSION}");
  EXPECT_EQ(result.err, std::string("Error, couldn't runtime expand spec '{CACHE_DIR}\\Quorvane\\{VERSION}'.") +
                            NEWLINE);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.exitCode, 3u);
  EXPECT_FALSE(result.timedOut) << "a dialog would hold the process";
}

TEST(EndRunOnFullBuffer, EndsWithItsOwnStatusAndNoOutput) {
  RunResult result = probe(L"full");
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 4u);
}

}  // namespace
