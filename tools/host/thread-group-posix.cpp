#include "host/thread-group.h"

#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace onefile {

struct ThreadLock::State {
  std::mutex mutex;
};

ThreadLock::ThreadLock() : state_(std::make_unique<State>()) {}
ThreadLock::~ThreadLock() = default;
void ThreadLock::lock() { state_->mutex.lock(); }
void ThreadLock::unlock() { state_->mutex.unlock(); }

// A thread that cannot be made leaves its share to the others: std::thread
// throws then, and the threads already running must still be joined (one
// destroyed while joinable ends the program). The room is reserved first, so
// that only the thread's own start can throw once one runs.
void runOnThreads(unsigned count, const std::function<void()>& body) {
  std::vector<std::thread> others;
  others.reserve(count > 0 ? count - 1 : 0);
  for (unsigned i = 1; i < count; ++i) {
    try {
      others.emplace_back(body);
    } catch (const std::system_error&) {
      break;  // the system is out of threads: the next would fail too
    }
  }
  body();
  for (std::thread& thread : others) thread.join();
}

}  // namespace onefile
