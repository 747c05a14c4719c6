// Eight starts of the same application at the same moment, on an empty cache
// and then on the warm cache it left. Any start of a cold race may lose (it
// then says so with a report); none may crash or leave a cache that the next
// starts do not repair, and on a warm cache every start succeeds.
#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "robust-target.h"
#include "run-outcome.h"

namespace {

constexpr int STARTS = 8;
// Long enough that some applications still run, holding their program file,
// while later starts check and write theirs.
const wchar_t APP_ARGUMENTS[] = L" --sleep 300";

struct Start {
  const robustness::RobustTarget* run;
  HANDLE go;
  harness::RunResult result;
};

DWORD WINAPI startWhenTold(void* argument) {
  Start* start = static_cast<Start*>(argument);
  harness::RunOptions options;
  options.commandLine = harness::quoteArgument(harness::binPath(L"robust-bootstrap.exe")) + APP_ARGUMENTS;
  options.timeoutMs = 60000;
  WaitForSingleObject(start->go, INFINITE);
  start->result = start->run->start(options);
  return 0;
}

std::vector<harness::RunResult> startTogether(const robustness::RobustTarget& run) {
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<Start> starts(STARTS, Start{&run, go, {}});
  std::vector<HANDLE> threads;
  for (Start& start : starts) threads.push_back(CreateThread(nullptr, 0, startWhenTold, &start, 0, nullptr));
  SetEvent(go);
  WaitForMultipleObjects(STARTS, threads.data(), TRUE, INFINITE);
  for (HANDLE thread : threads) CloseHandle(thread);
  CloseHandle(go);
  std::vector<harness::RunResult> results;
  for (const Start& start : starts) results.push_back(start.result);
  return results;
}

bool succeeded(const harness::RunResult& result) {
  return !result.timedOut && result.exitCode == 0 && result.out == robustness::APP_RAN && result.err.empty();
}

// Counts the successes; every other start must have ended with one of the
// bootstrap's reports. Prints what the failures said.
int countSuccesses(const std::vector<harness::RunResult>& results, const char* phase) {
  int successes = 0;
  std::map<std::string, int> failures;
  for (const harness::RunResult& result : results) {
    if (succeeded(result)) {
      ++successes;
      continue;
    }
    EXPECT_EQ(result.exitCode, 2u) << phase << ": " << result.out << result.err;
    EXPECT_TRUE(robustness::isOneFixedReport(result.out, result.err)) << phase << ": " << result.out << result.err;
    ++failures[result.out + result.err];
  }
  std::printf("%s: %d of %d starts succeeded\n", phase, successes, STARTS);
  for (const auto& [report, count] : failures) std::printf("  %d x %s", count, report.c_str());
  return successes;
}

int rounds() {
  wchar_t text[16];
  DWORD length = GetEnvironmentVariableW(L"ROBUSTNESS_ROUNDS", text, 16);
  int value = length > 0 && length < 16 ? static_cast<int>(std::wcstol(text, nullptr, 10)) : 1;
  return value > 0 ? value : 1;
}

// What another start does to a warm cache in the middle of this one: it
// checksums every file through a read handle that shares everything, and
// writes the empty ones again (an empty file cannot be mapped, so it never
// counts as current). Neither may make this start fail.
TEST(ConcurrentStarts, AWarmStartSucceedsWhileAnotherReadsOrWritesItsEmptyFile) {
  robustness::RobustTarget run;
  robustness::expectCorrectRun(run.start(), run.target);
  const std::wstring empty = run.target + L"\\empty.dat";
  struct Holder {
    DWORD access;
    DWORD share;
    DWORD disposition;
  };
  const Holder others[] = {
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING},  // its checksum
      {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS},                     // its rewrite
  };
  for (const Holder& other : others) {
    HANDLE held = CreateFileW(empty.c_str(), other.access, other.share, nullptr, other.disposition, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    robustness::expectCorrectRun(run.start(), run.target);
    CloseHandle(held);
  }
}

TEST(ConcurrentStarts, EightOnAnEmptyCacheThenEightOnTheWarmOne) {
  int coldSuccesses = 0, warmSuccesses = 0, coldCorrect = 0, warmCorrect = 0;
  const int roundCount = rounds();
  for (int round = 0; round < roundCount; ++round) {
    robustness::RobustTarget run(L"round-" + std::to_wstring(round));
    coldSuccesses += countSuccesses(startTogether(run), "cold");
    bool correctCold = harness::treeDifference(robustness::packedFolder(), run.target).empty();
    coldCorrect += correctCold;
    std::printf("cold: the cache is %s\n", correctCold ? "byte-correct" : "not byte-correct");

    int warm = countSuccesses(startTogether(run), "warm");
    warmSuccesses += warm;
    EXPECT_EQ(warm, STARTS) << "every start on a warm cache succeeds";
    bool correctWarm = harness::treeDifference(robustness::packedFolder(), run.target).empty();
    warmCorrect += correctWarm;
    EXPECT_TRUE(correctWarm) << "the cache is byte-correct after the warm starts";
  }
  robustness::recordFigure("concurrent_rounds", roundCount);
  robustness::recordFigure("concurrent_cold_ok", coldSuccesses);
  robustness::recordFigure("concurrent_warm_ok", warmSuccesses);
  robustness::recordFigure("concurrent_cold_cache_correct", coldCorrect);
  robustness::recordFigure("concurrent_warm_cache_correct", warmCorrect);
}

}  // namespace
