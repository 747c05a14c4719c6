#include "payload/close-pool.h"

#include "diag/release.h"
#include "diag/system-calls.h"
#include "payload/close-pool-seams.h"
#include "resources/attached.h"

namespace {

// Files handed over and not yet taken by a thread. With this many waiting,
// the unpacking thread closes the next file itself: it helps rather than
// waits, and no more files than this stay open at once.
constexpr unsigned CLOSE_QUEUE_CAPACITY = 64;

// A resting thread is woken once this many files wait, not for each one: the
// wake costs about what a close costs when no scanner holds it up. Where a
// scanner does, the files pile up and every resting thread is soon at work.
constexpr unsigned CLOSE_WAKE_BATCH = 8;

// A resting thread also looks at the queue this often, so that fewer files
// than a batch never stay open longer: another start may be waiting to
// read one of them.
constexpr DWORD CLOSE_REST_MS = 50;

// A thread only waits and closes: a small stack, reserved rather than committed.
constexpr SIZE_T CLOSE_THREAD_STACK = 64 << 10;

// The lock and the condition are the system's own light ones, which cost no
// call into the kernel while nobody waits and cannot fail; only the sleep has
// a result, and one that failed other than by its time running out ends its
// thread (the files it would have taken are closed by another, by the
// unpacking thread once the queue is full, or at the end).
struct ClosePool {
  unsigned wanted;
  bool startTried;
  unsigned threadCount;
  HANDLE threads[ATTACHED_MAX_CLOSE_THREADS];
  SRWLOCK lock;  // guards everything below
  CONDITION_VARIABLE filesWaiting;
  HANDLE files[CLOSE_QUEUE_CAPACITY];
  unsigned first, count;
  unsigned closing;  // files that a thread has taken and not closed yet
  unsigned resting;  // threads asleep on filesWaiting
  unsigned running;  // threads started that have not yet left their loop
  bool finishing;
};

ClosePool pool = {0, false, 0, {}, SRWLOCK_INIT, CONDITION_VARIABLE_INIT, {}, 0, 0, 0, 0, 0, false};

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
  AcquireSRWLockExclusive(&pool.lock);
  bool room = pool.count < CLOSE_QUEUE_CAPACITY;
  if (room) pool.files[(pool.first + pool.count++) % CLOSE_QUEUE_CAPACITY] = file;
  bool wake = room && pool.resting > 0 && pool.count >= CLOSE_WAKE_BATCH;
  ReleaseSRWLockExclusive(&pool.lock);
  if (wake) WakeConditionVariable(&pool.filesWaiting);
  return room;
}

// Without a thread every file is closed where it was written, as without
// the choice.
// A thread is counted before it starts, so that the end never misses one
// that has yet to run.
void startClosingThreads(void) {
  pool.startTried = true;
  AcquireSRWLockExclusive(&pool.lock);
  pool.running = pool.wanted;
  ReleaseSRWLockExclusive(&pool.lock);
  while (pool.threadCount < pool.wanted) {
    HANDLE thread = systemCalls.createThread(nullptr, CLOSE_THREAD_STACK, closeQueuedFiles, nullptr,
                                             STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) break;  // the ones started do the work
    pool.threads[pool.threadCount++] = thread;
  }
  AcquireSRWLockExclusive(&pool.lock);
  pool.running -= pool.wanted - pool.threadCount;
  ReleaseSRWLockExclusive(&pool.lock);
}

// Closes here what no thread took, then waits for the files that threads
// are closing and for every thread to leave its loop. After the threads
// have ended all this is already done; this is what makes it so when they
// could not be waited for. A thread woken late would otherwise find the
// end undone and rest on, and take files that nobody hands it any more.
void closeLeftoverFiles(void) {
  for (;;) {
    AcquireSRWLockExclusive(&pool.lock);
    HANDLE file = takeQueuedFile();
    bool busy = pool.closing > 0 || pool.running > 0;
    ReleaseSRWLockExclusive(&pool.lock);
    if (file != nullptr) closeQuietly(file);
    else if (!busy) return;
    else Sleep(1);
  }
}

}  // namespace

DWORD WINAPI closeQueuedFiles(void*) {
  AcquireSRWLockExclusive(&pool.lock);
  for (;;) {
    HANDLE file = takeQueuedFile();
    if (file != nullptr) {
      ++pool.closing;
      ReleaseSRWLockExclusive(&pool.lock);
      closeQuietly(file);
      AcquireSRWLockExclusive(&pool.lock);
      --pool.closing;
      continue;
    }
    if (pool.finishing) break;
    ++pool.resting;
    BOOL woken = systemCalls.sleepConditionVariable(&pool.filesWaiting, &pool.lock, CLOSE_REST_MS, 0);
    --pool.resting;
    if (!woken && GetLastError() != ERROR_TIMEOUT) break;
  }
  --pool.running;
  ReleaseSRWLockExclusive(&pool.lock);
  return 0;
}

void closeWrittenFilesOn(unsigned threads) {
  pool.wanted = threads < ATTACHED_MAX_CLOSE_THREADS ? threads : ATTACHED_MAX_CLOSE_THREADS;
}

void closeWrittenFile(HANDLE file) {
  if (!pool.startTried) startClosingThreads();
  if (pool.threadCount == 0 || !queueFile(file)) closeQuietly(file);
}

// The threads' handles are closed only when the threads have been seen to
// end; otherwise they stay open until the process ends.
void finishClosingWrittenFiles(void) {
  if (pool.threadCount > 0) {
    AcquireSRWLockExclusive(&pool.lock);
    pool.finishing = true;
    ReleaseSRWLockExclusive(&pool.lock);
    WakeAllConditionVariable(&pool.filesWaiting);
    bool ended = systemCalls.waitForMultipleObjects(pool.threadCount, pool.threads, TRUE, INFINITE) <
                 WAIT_OBJECT_0 + pool.threadCount;
    closeLeftoverFiles();
    for (unsigned i = 0; ended && i < pool.threadCount; ++i) closeQuietly(pool.threads[i]);
  }
  AcquireSRWLockExclusive(&pool.lock);
  pool.threadCount = 0;
  pool.startTried = false;
  pool.finishing = false;
  ReleaseSRWLockExclusive(&pool.lock);
}
