// A start ended from outside part-way through its unpacking (an antivirus, a
// crash, a power cut) leaves a cache that the next start repairs.
// Under Wine a process ended this way can linger as a Linux process holding
// its inherited output open, so this test runs on its own with its output in
// a file (interrupted-runs.sh), not among the discovered tests.
#include <gtest/gtest.h>

#include <string>

#include "robust-target.h"

namespace {

robustness::CaseFigures caches("caches_tried", "caches_repaired");

TEST(InterruptedRun, ARunEndedPartWayIsRepairedByTheNextStart) {
  // Never ended while Wine itself is still starting it: only once its
  // unpacking has begun, after one of several further waits.
  constexpr DWORD START_LIMIT_MS = 20000;
  for (DWORD afterMs : {0u, 5u, 20u, 60u}) {
    robustness::RobustTarget run(L"after-" + std::to_wstring(afterMs));
    HANDLE process = run.startDetached();
    for (DWORD waited = 0; !harness::directoryExists(run.target) && waited < START_LIMIT_MS; ++waited) Sleep(1);
    Sleep(afterMs);
    TerminateProcess(process, 0xDEAD);
    EXPECT_EQ(WaitForSingleObject(process, START_LIMIT_MS), WAIT_OBJECT_0);
    CloseHandle(process);
    robustness::expectCorrectRun(run.start(), run.target);
    caches.count();
  }
}

}  // namespace
