#include "payload/close-pool.h"

#include <limits.h>

#include "diag/release.h"
#include "diag/system-calls.h"
#include "payload/close-pool-seams.h"

namespace {

// Files handed over and not yet taken by a thread. With this many waiting,
// the unpacking thread closes the next file itself: it helps rather than
// waits, and no more files than this stay open at once.
constexpr unsigned CLOSE_QUEUE_CAPACITY = 64;

// A thread only waits and closes: a small stack, reserved rather than committed.
constexpr SIZE_T CLOSE_THREAD_STACK = 64 << 10;

struct ClosePool {
  unsigned wanted;
  bool startTried;
  unsigned threadCount;
  HANDLE threads[CLOSE_THREADS_CAPACITY];
  // One count per file queued, and at the end one per thread, which then
  // finds the queue empty and ends.
  HANDLE queued;
  // Counts whose release failed: their files still wait in the queue, and
  // the end gives as many more, so that every thread still finds its own.
  LONG unsignalled;
  // Guards the queue and the two fields after it. Never deleted: a thread
  // that a failed wait could not see end may still take it.
  CRITICAL_SECTION lock;
  bool lockReady;
  HANDLE files[CLOSE_QUEUE_CAPACITY];
  unsigned first, count;
  unsigned closing;  // files that a thread has taken and not closed yet
  bool finishing;
};

ClosePool pool;

// nullptr when the queue is empty; a file's handle is never null. Called
// under the lock.
HANDLE takeQueuedFile(void) {
  if (pool.count == 0) return nullptr;
  HANDLE file = pool.files[pool.first];
  pool.first = (pool.first + 1) % CLOSE_QUEUE_CAPACITY;
  --pool.count;
  return file;
}

// False when the queue is full.
bool queueFile(HANDLE file) {
  EnterCriticalSection(&pool.lock);
  bool room = pool.count < CLOSE_QUEUE_CAPACITY;
  if (room) pool.files[(pool.first + pool.count++) % CLOSE_QUEUE_CAPACITY] = file;
  LeaveCriticalSection(&pool.lock);
  if (room && !systemCalls.releaseSemaphore(pool.queued, 1, nullptr)) ++pool.unsignalled;
  return room;
}

// Without a thread every file is closed where it was written, as without
// the choice.
void startClosingThreads(void) {
  pool.startTried = true;
  if (pool.wanted == 0) return;
  pool.queued = systemCalls.createSemaphore(nullptr, 0, LONG_MAX, nullptr);
  if (pool.queued == nullptr) return;
  if (!pool.lockReady) InitializeCriticalSection(&pool.lock);
  pool.lockReady = true;
  while (pool.threadCount < pool.wanted) {
    HANDLE thread = systemCalls.createThread(nullptr, CLOSE_THREAD_STACK, closeQueuedFiles, nullptr,
                                             STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) break;  // the ones started do the work
    pool.threads[pool.threadCount++] = thread;
  }
  if (pool.threadCount == 0) closeQuietly(pool.queued);
}

// Closes here what no thread took, then waits for the files that threads
// are closing. After the threads have ended both are already done; this is
// what makes it so when they could not be woken or waited for.
void closeLeftoverFiles(void) {
  for (;;) {
    EnterCriticalSection(&pool.lock);
    HANDLE file = takeQueuedFile();
    bool busy = pool.closing > 0;
    LeaveCriticalSection(&pool.lock);
    if (file != nullptr) closeQuietly(file);
    else if (!busy) return;
    else Sleep(1);
  }
}

}  // namespace

// A failed wait is taken as a wake: the thread closes what it finds, and
// ends when it finds nothing, as it does once the run is finishing.
DWORD WINAPI closeQueuedFiles(void*) {
  for (;;) {
    bool woken = systemCalls.waitForSingleObject(pool.queued, INFINITE) == WAIT_OBJECT_0;
    EnterCriticalSection(&pool.lock);
    HANDLE file = takeQueuedFile();
    if (file != nullptr) ++pool.closing;
    bool ends = file == nullptr && (pool.finishing || !woken);
    LeaveCriticalSection(&pool.lock);
    if (ends) return 0;
    if (file == nullptr) continue;
    closeQuietly(file);
    EnterCriticalSection(&pool.lock);
    --pool.closing;
    LeaveCriticalSection(&pool.lock);
  }
}

void closeWrittenFilesOn(unsigned threads) {
  pool.wanted = threads < CLOSE_THREADS_CAPACITY ? threads : CLOSE_THREADS_CAPACITY;
}

void closeWrittenFile(HANDLE file) {
  if (!pool.startTried) startClosingThreads();
  if (pool.threadCount == 0 || !queueFile(file)) closeQuietly(file);
}

// The threads' handles and the semaphore are closed only when the threads
// have been seen to end; otherwise they stay open until the process ends,
// since a thread that is still waiting may yet use them.
void finishClosingWrittenFiles(void) {
  if (pool.threadCount > 0) {
    EnterCriticalSection(&pool.lock);
    pool.finishing = true;
    LeaveCriticalSection(&pool.lock);
    bool ended = systemCalls.releaseSemaphore(pool.queued, (LONG)pool.threadCount + pool.unsignalled, nullptr) &&
                 systemCalls.waitForMultipleObjects(pool.threadCount, pool.threads, TRUE, INFINITE) < WAIT_OBJECT_0 + pool.threadCount;
    closeLeftoverFiles();
    if (ended) {
      for (unsigned i = 0; i < pool.threadCount; ++i) closeQuietly(pool.threads[i]);
      closeQuietly(pool.queued);
    }
  }
  pool.threadCount = 0;
  pool.startTried = false;
  pool.finishing = false;
  pool.unsignalled = 0;
}
