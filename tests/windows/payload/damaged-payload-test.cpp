// Payloads the reader must refuse, each in a process of its own (the reader
// ends the run): the report on standard output, exit status 2, and what was
// served before.
#include <gtest/gtest.h>

#include <regex>

#include "fixture-layout.h"
#include "harness.h"

namespace {

using harness::RunResult;

constexpr char NO_HEADER[] = "Error, couldn't find attached data header.\r\n";
constexpr char DECODE_FAILED[] = "Error, couldn't decode attached data.\r\n";
constexpr uint64_t BLOCK = fixture_layout::READER_BLOCK;

std::wstring fixture(const std::wstring& name) {
  return harness::quoteArgument(harness::binPath(L"payload-data\\" + name));
}

RunResult probe(const std::wstring& arguments) {
  harness::RunOptions options;
  options.commandLine = L"payload-probe.exe " + arguments;
  return harness::run(harness::binPath(L"payload-probe.exe"), options);
}

RunResult readFixture(const std::wstring& name, uint64_t request, const std::wstring& flags = L"") {
  return probe(fixture(name + L".payload") + L" " + fixture(name + L".stream") + L" " + std::to_wstring(request) +
               L" " + flags);
}

// The count in the last "served N" line before the report, or -1 for none.
long long lastServed(const std::string& out) {
  long long served = -1;
  std::regex line(R"(served (\d+)\r\n)");
  for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator(); ++it)
    served = std::stoll((*it)[1]);
  return served;
}

TEST(PayloadProbe, ReadsAGoodPayloadToTheEndWithoutTouchingItsTrailer) {
  RunResult result = readFixture(L"blocks", 4096, L"guard-trailer");
  EXPECT_EQ(result.exitCode, 0u) << result.out;
  EXPECT_EQ(lastServed(result.out), (long long)harness::readFile(harness::binPath(L"payload-data\\blocks.stream")).size());
  EXPECT_NE(result.out.find("complete\r\n"), std::string::npos);
}

TEST(PayloadProbe, AWrongMagicInAnyOfItsThreeBytesIsReportedBeforeAnythingIsRead) {
  for (const wchar_t* name : {L"wrong-magic-0", L"wrong-magic-1", L"wrong-magic-2"}) {
    RunResult result = readFixture(name, 4096);
    EXPECT_EQ(result.out, NO_HEADER) << harness::narrow(name);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 2u);
  }
  RunResult attached = probe(L"attached");  // the test programs carry no payload
  EXPECT_EQ(attached.out, NO_HEADER);
  EXPECT_EQ(attached.exitCode, 2u);
}

TEST(PayloadProbe, AWindowAbove2To27IsRefusedAtTheFirstRead) {
  RunResult result = readFixture(L"wide-window", 4096);
  EXPECT_EQ(result.out, DECODE_FAILED);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 2u);
}

TEST(PayloadProbe, AStreamWithoutEndRecordEndsTheRunAtTheRequestThatFindsNoMoreData) {
  size_t streamSize = harness::readFile(harness::binPath(L"payload-data\\no-end.stream")).size();
  std::string served = "served " + std::to_string(streamSize) + "\r\n";
  // With the trailer the decoder fails on it as on a new frame; without it
  // the input is used up and nothing is held back. Neither waits.
  for (const wchar_t* flags : {L"past-end", L"past-end without-trailer"}) {
    RunResult result = readFixture(L"no-end", 65536, flags);
    EXPECT_EQ(result.exitCode, 2u) << harness::narrow(flags);
    EXPECT_FALSE(result.timedOut);
    ASSERT_GE(result.out.size(), served.size() + sizeof DECODE_FAILED - 1) << result.out;
    EXPECT_EQ(result.out.substr(result.out.size() - served.size() - (sizeof DECODE_FAILED - 1)),
              served + DECODE_FAILED)
        << harness::narrow(flags) << ": " << result.out;
  }
}

TEST(PayloadProbe, ADamagedFrameIsReportedAtTheFirstRequestThatNeedsItAfterServingTheEarlierOnes) {
  // The decode call that meets the damaged block fails as a whole: every
  // request the blocks before it could serve is served.
  uint64_t lastGoodBlockEnd = fixture_layout::DAMAGED_FROM / BLOCK * BLOCK;
  for (uint64_t request : {4096ull, 10000ull}) {
    RunResult result = readFixture(L"damaged", request, L"guard-trailer");
    EXPECT_EQ(result.exitCode, 2u);
    ASSERT_GE(result.out.size(), sizeof DECODE_FAILED - 1);
    EXPECT_EQ(result.out.substr(result.out.size() - (sizeof DECODE_FAILED - 1)), DECODE_FAILED) << result.out;
    EXPECT_EQ(lastServed(result.out), (long long)(lastGoodBlockEnd / request * request)) << result.out;
  }
}

}  // namespace
