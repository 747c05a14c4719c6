#include "host/thread-group.h"

#include <mutex>
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

void runOnThreads(unsigned count, const std::function<void()>& body) {
  std::vector<std::thread> others;
  for (unsigned i = 1; i < count; ++i) others.emplace_back(body);
  body();
  for (std::thread& thread : others) thread.join();
}

}  // namespace onefile
