#include "host/parallel-work.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <vector>

#include "host/thread-group.h"

namespace onefile {

void forEachInParallel(size_t count, unsigned threads, const std::function<void(size_t)>& work,
                       const std::function<void(size_t)>& finished) {
  ThreadLock lock;
  size_t next = 0, failedAt = count;
  std::exception_ptr failure;
  auto body = [&] {
    for (;;) {
      size_t i;
      {
        std::lock_guard<ThreadLock> held(lock);
        if (next >= count || next > failedAt) return;  // pieces after a failure do not matter
        i = next++;
      }
      try {
        work(i);
        std::lock_guard<ThreadLock> held(lock);
        finished(i);
      } catch (...) {
        std::lock_guard<ThreadLock> held(lock);
        if (i < failedAt) failure = std::current_exception(), failedAt = i;
      }
    }
  };
  unsigned useful = static_cast<unsigned>(std::min<size_t>(threads == 0 ? 1 : threads, count));
  runOnThreads(useful == 0 ? 1 : useful, body);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace onefile
