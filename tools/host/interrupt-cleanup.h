// What an interrupted run must not leave behind: the temporary file of an
// output not yet in place, and the private folder of copies made on the way
// (a whole application's programs, signed). The user's Ctrl+C, or a CI job
// being cancelled (SIGINT, SIGTERM, SIGHUP; on Windows Ctrl+C, Ctrl+Break,
// closing the console), ends the process without running any destructor, so
// one handler, installed here and nowhere else, removes everything watched
// and then lets the process end as the interrupt would have ended it.
#pragma once
#include <filesystem>

namespace onefile {

class InterruptCleanup {
 public:
  InterruptCleanup() = default;
  ~InterruptCleanup() { stop(); }
  InterruptCleanup(const InterruptCleanup&) = delete;
  InterruptCleanup& operator=(const InterruptCleanup&) = delete;

  // From now on an interrupt removes the file.
  void watchFile(const std::filesystem::path& file);
  // From now on an interrupt removes the folder and the files directly in
  // it. It must hold no folder: the handler walks no tree (on Linux it may
  // make only async-signal-safe calls).
  void watchFlatFolder(const std::filesystem::path& folder);
  // What is watched is left to its owner again.
  void stop();

 private:
  int slot_ = -1;  // none: nothing watched, or no room left (nothing worse than no cleanup)
};

#ifdef _WIN32
// A program the tool runs (the signing program) has no console of the tool's
// (no window of its own may open), so no console event reaches it, and the
// files it holds open could not be removed. The process given here (a
// HANDLE) ends when the tool is interrupted, before the removal, or when the
// tool ends in any other way. False when the system refuses (the tool runs
// in a job that allows no job of its own).
bool endWithInterrupt(void* process);
#endif

}  // namespace onefile
