// Work spread over threads: every piece once, finished() one at a time, and
// the first failure in the pieces' order, whichever thread met it first.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "host/parallel-work.h"

namespace {

TEST(ParallelWork, EveryPieceOnceAndFinishedOneAtATime) {
  const struct {
    size_t count;
    unsigned threads;
  } runs[] = {{0, 1}, {1, 4}, {100, 0}, {100, 1}, {100, 4}, {3, 16}};
  for (const auto& run : runs) {
    SCOPED_TRACE(std::to_string(run.count) + " pieces on " + std::to_string(run.threads) + " threads");
    std::vector<std::atomic<int>> done(run.count);
    std::vector<int> finished(run.count);
    std::atomic<bool> inside{false};
    std::atomic<int> overlaps{0};
    onefile::forEachInParallel(
        run.count, run.threads, [&](size_t i) { done[i] += 1; },
        [&](size_t i) {
          if (inside.exchange(true)) overlaps += 1;
          std::this_thread::sleep_for(std::chrono::microseconds(50));
          finished[i] += 1;
          inside = false;
        });
    for (size_t i = 0; i < run.count; ++i) EXPECT_EQ(done[i] * 10 + finished[i], 11) << i;
    EXPECT_EQ(overlaps, 0);
  }
}

// Piece 70 fails first in time, piece 30 later: 30's failure is the one told.
// Which pieces after a failure other threads had already taken depends on the
// threads' timing; on one thread, none after the failure starts.
TEST(ParallelWork, TheFirstFailureInOrderIsThrownAndNothingAfterItStarts) {
  constexpr size_t COUNT = 200, EARLY = 30, LATE = 70;
  for (unsigned threads : {4u, 1u}) {
    std::atomic<size_t> startedAfterEarly{0};
    auto work = [&](size_t i) {
      if (i > EARLY) startedAfterEarly += 1;
      if (i == EARLY) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        throw std::runtime_error("piece 30");
      }
      if (i == LATE) throw std::runtime_error("piece 70");
    };
    try {
      onefile::forEachInParallel(COUNT, threads, work, [](size_t) {});
      FAIL() << "nothing was thrown on " << threads;
    } catch (const std::runtime_error& failure) {
      EXPECT_STREQ(failure.what(), "piece 30") << threads;
    }
    if (threads == 1) EXPECT_EQ(startedAfterEarly, 0u);
  }
}

// In a child process: with room for one more thread's stack only, the first
// thread starts and the second cannot. Ends with 0 when every piece was done.
// The stacks are made larger than those the earlier tests' threads left for
// reuse, so that every thread needs room of its own.
void runWithRoomForOneThread() {
  pthread_attr_t defaults;
  size_t stack = 0, pages = 0;
  pthread_getattr_default_np(&defaults);
  pthread_attr_getstacksize(&defaults, &stack);
  stack *= 2;
  pthread_attr_setstacksize(&defaults, stack);
  pthread_setattr_default_np(&defaults);
  std::ifstream("/proc/self/statm") >> pages;
  rlim_t limit = pages * sysconf(_SC_PAGESIZE) + stack + (1 << 20);
  struct rlimit space = {limit, limit};
  setrlimit(RLIMIT_AS, &space);
  std::thread first([] {});
  try {
    std::thread([] {}).join();
    _exit(3);  // a second thread started after all: the test shows nothing
  } catch (const std::system_error&) {
  }
  first.join();  // its stack stays mapped for the next thread to take
  std::atomic<size_t> done{0};
  onefile::forEachInParallel(100, 4, [&](size_t) { done += 1; }, [](size_t) {});
  _exit(done == 100 ? 0 : 1);
}

// A thread that the system will not start (here, for want of address space
// for its stack) leaves its pieces to the threads that did start, the
// calling one among them: the one already started is joined, and nothing
// ends the program.
TEST(ParallelWork, ThreadsThatCannotStartLeaveTheirPiecesToTheOthers) {
  EXPECT_EXIT(runWithRoomForOneThread(), testing::ExitedWithCode(0), "");
}

}  // namespace
