// The interrupt handler against the thread that takes a folder back: the
// handler empties the folder through a descriptor opened when it was
// watched, and stop() must not close it under the handler. Its number would
// go to the next folder opened, whose files the handler would then unlink.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "host/interrupt-cleanup.h"
#include "test-support.h"

namespace {

using namespace testing_support;

constexpr int WATCHED_FILES = 500;  // enough that the handler is still at work when stop() comes
constexpr int OTHER_FILES = 20;

bool isPending(int signal) {
  sigset_t pending;
  sigpending(&pending);
  return sigismember(&pending, signal) == 1;
}

// In a child process: the signal lands on a thread of its own, while this
// one takes the folder back and opens another as soon as the handler has
// begun. The handler ends the process.
void takeBackWhileTheHandlerRuns(const fs::path& watched, const fs::path& other) {
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
  onefile::InterruptCleanup cleanup;
  cleanup.watchFlatFolder(watched);
  std::thread receiver([&] {
    pthread_sigmask(SIG_UNBLOCK, &interrupt, nullptr);
    for (;;) pause();
  });
  kill(getpid(), SIGTERM);
  while (isPending(SIGTERM)) {
  }
  cleanup.stop();
  int descriptor = open(other.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  sleep(30);  // the handler ends the process long before
  close(descriptor);
  _exit(0);
}

TEST(InterruptCleanup, AFolderTakenBackWhileTheHandlerEmptiesItIsLeftToTheHandler) {
  ScratchFolder folder;
  for (int i = 0; i < WATCHED_FILES; ++i) writeFile(folder / ("watched/" + std::to_string(i)), "");
  for (int i = 0; i < OTHER_FILES; ++i) writeFile(folder / ("other/" + std::to_string(i)), "keep");
  EXPECT_EXIT(takeBackWhileTheHandlerRuns(folder / "watched", folder / "other"), testing::KilledBySignal(SIGTERM), "");
  EXPECT_EQ(entriesOf(folder / "other").size(), size_t{OTHER_FILES}) << "the handler unlinked another folder's files";
  // Whichever of the two takes the slot first has it: the handler removes
  // the whole folder, or stop() came first and the handler never touched it.
  // A folder half emptied is a handler that lost its descriptor mid-way.
  if (fs::exists(folder / "watched")) {
    EXPECT_EQ(entriesOf(folder / "watched").size(), size_t{WATCHED_FILES}) << "the handler did not finish";
  }
}

}  // namespace
