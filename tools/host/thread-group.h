// The two things parallel work needs from the system, in one form for
// Linux and one for Windows (whose C++ runtime here has no std::thread).
#pragma once
#include <functional>
#include <memory>

namespace onefile {

class ThreadLock {
 public:
  ThreadLock();
  ~ThreadLock();
  ThreadLock(const ThreadLock&) = delete;
  ThreadLock& operator=(const ThreadLock&) = delete;
  void lock();
  void unlock();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Runs body on count threads, the calling thread among them, and returns
// when every one has returned. body must not throw.
void runOnThreads(unsigned count, const std::function<void()>& body);

}  // namespace onefile
