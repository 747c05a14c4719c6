#include "host/thread-group.h"

#include <windows.h>

#include <vector>

namespace onefile {
namespace {

DWORD WINAPI runBody(void* body) {
  (*static_cast<const std::function<void()>*>(body))();
  return 0;
}

}  // namespace

struct ThreadLock::State {
  SRWLOCK lock = SRWLOCK_INIT;
};

ThreadLock::ThreadLock() : state_(std::make_unique<State>()) {}
ThreadLock::~ThreadLock() = default;
void ThreadLock::lock() { AcquireSRWLockExclusive(&state_->lock); }
void ThreadLock::unlock() { ReleaseSRWLockExclusive(&state_->lock); }

// A thread that cannot be made leaves its share to the others.
void runOnThreads(unsigned count, const std::function<void()>& body) {
  std::vector<HANDLE> others;
  for (unsigned i = 1; i < count; ++i) {
    HANDLE thread = CreateThread(nullptr, 0, runBody, const_cast<std::function<void()>*>(&body), 0, nullptr);
    if (thread != nullptr) others.push_back(thread);
  }
  body();
  for (HANDLE thread : others) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
}

}  // namespace onefile
