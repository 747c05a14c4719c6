// The closing of written files beside the unpacking: whatever its threads
// and their calls do, every file handed over is closed exactly once, and
// all of them by the time the closing is finished, before anything starts.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "diag/system-calls.h"
#include "payload/close-pool-seams.h"
#include "payload/close-pool.h"

namespace {

// Files handed over in one case: more than the queue holds, so that the
// unpacking thread also closes some itself.
constexpr int FILES = 200;

SystemCalls realCalls = systemCalls;
SRWLOCK closesLock = SRWLOCK_INIT;
std::map<HANDLE, int>* closesOf;  // the test's files only
int closesOffThisThread;
DWORD testThread;

// A close that takes a moment, as under a scanner, so that the files pile up.
BOOL WINAPI recordedClose(HANDLE handle) {
  Sleep(1);
  AcquireSRWLockExclusive(&closesLock);
  auto found = closesOf->find(handle);
  if (found != closesOf->end()) {
    ++found->second;
    if (GetCurrentThreadId() != testThread) ++closesOffThisThread;
  }
  ReleaseSRWLockExclusive(&closesLock);
  return realCalls.closeHandle(handle);
}

HANDLE WINAPI noThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}
BOOL WINAPI failedSleep(PCONDITION_VARIABLE, PSRWLOCK, DWORD, ULONG) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}
DWORD WINAPI failedWait(DWORD, const HANDLE*, BOOL, DWORD) {
  SetLastError(ERROR_INVALID_HANDLE);
  return WAIT_FAILED;
}
// A thread that the system runs only a while after each wake, with the lock
// free meanwhile: long enough for the unpacking thread to close every queued
// file itself, so that the end finds nothing left to wait for.
constexpr DWORD LATE_WAKE_MS = 200;
BOOL WINAPI lateWake(PCONDITION_VARIABLE condition, PSRWLOCK lock, DWORD ms, ULONG flags) {
  BOOL woken = realCalls.sleepConditionVariable(condition, lock, ms, flags);
  DWORD error = GetLastError();
  ReleaseSRWLockExclusive(lock);
  Sleep(LATE_WAKE_MS);
  AcquireSRWLockExclusive(lock);
  SetLastError(error);
  return woken;
}

// The closing threads of a case, so that it can wait for them to end: once
// they have, no close can come late.
std::vector<HANDLE>* closingThreads;
HANDLE WINAPI recordedThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack, LPTHREAD_START_ROUTINE routine,
                             LPVOID parameter, DWORD flags, LPDWORD id) {
  HANDLE thread = realCalls.createThread(security, stack, routine, parameter, flags, id);
  HANDLE copy = nullptr;
  if (thread != nullptr && routine == closeQueuedFiles)
    DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0);
  if (copy != nullptr) closingThreads->push_back(copy);
  return thread;
}
// Far longer than a woken thread takes to end; a thread still there then
// would rest on and close files of a later start.
constexpr DWORD THREAD_END_LIMIT_MS = 10000;

enum class Closer { HERE_AT_ONCE, THREADS, EITHER };

struct PoolCase {
  const char* name;
  unsigned threads;
  void (*breakCalls)(SystemCalls* calls);
  Closer closer;  // where the files are closed, and whether before closeWrittenFile returns
};

const PoolCase CASES[] = {
    {"no threads chosen", 0, [](SystemCalls*) {}, Closer::HERE_AT_ONCE},
    {"four threads", 4, [](SystemCalls*) {}, Closer::THREADS},
    {"sixteen threads", 16, [](SystemCalls*) {}, Closer::THREADS},
    {"no thread starts", 4, [](SystemCalls* calls) { calls->createThread = noThread; }, Closer::HERE_AT_ONCE},
    // Threads that end at their first rest, leaving the files to the unpacking thread.
    {"no rest", 4, [](SystemCalls* calls) { calls->sleepConditionVariable = failedSleep; }, Closer::EITHER},
    // An end that cannot wait for the threads waits for their closes, and
    // for each thread to leave, even one that runs late after its wake.
    {"no wait for the end", 4, [](SystemCalls* calls) { calls->waitForMultipleObjects = failedWait; },
     Closer::THREADS},
    {"no wait for the end, late wakes", 4,
     [](SystemCalls* calls) {
       calls->waitForMultipleObjects = failedWait;
       calls->sleepConditionVariable = lateWake;
     },
     Closer::EITHER},
};

TEST(ClosePool, ClosesEveryFileOnceAndAllBeforeItFinishes) {
  testThread = GetCurrentThreadId();
  for (const PoolCase& c : CASES) {
    SCOPED_TRACE(c.name);
    std::map<HANDLE, int> closes;
    std::vector<HANDLE> files;
    for (int i = 0; i < FILES; ++i) {
      files.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
      ASSERT_NE(files.back(), nullptr);
      closes[files.back()] = 0;
    }
    closesOf = &closes;
    closesOffThisThread = 0;
    std::vector<HANDLE> threads;
    closingThreads = &threads;
    systemCalls.closeHandle = recordedClose;
    systemCalls.createThread = recordedThread;
    c.breakCalls(&systemCalls);

    closeWrittenFilesOn(c.threads);
    int closedBefore = 0;
    for (HANDLE file : files) {
      closeWrittenFile(file);
      closedBefore += closes[file];
    }
    finishClosingWrittenFiles();
    AcquireSRWLockExclusive(&closesLock);
    std::map<HANDLE, int> atTheEnd = closes;
    int offThisThread = closesOffThisThread;
    ReleaseSRWLockExclusive(&closesLock);
    for (HANDLE thread : threads) {
      EXPECT_EQ(WaitForSingleObject(thread, THREAD_END_LIMIT_MS), WAIT_OBJECT_0) << "a closing thread outlived the end";
      CloseHandle(thread);
    }
    systemCalls = realCalls;

    for (HANDLE file : files) EXPECT_EQ(atTheEnd[file], 1) << "file " << file;
    EXPECT_EQ(atTheEnd, closes) << "a file was closed after the closing had finished";
    if (c.closer == Closer::HERE_AT_ONCE) EXPECT_EQ(closedBefore, FILES);
    if (c.closer == Closer::HERE_AT_ONCE) EXPECT_EQ(offThisThread, 0);
    if (c.closer == Closer::THREADS) EXPECT_GT(offThisThread, 0) << "no file was closed beside the unpacking";
  }
}

// Fewer files than wake a resting thread are not left open until the end:
// another start may be waiting to read one of them.
TEST(ClosePool, AFewFilesAreClosedWithoutWaitingForTheEnd) {
  std::map<HANDLE, int> closes;
  std::vector<HANDLE> files;
  for (int i = 0; i < 3; ++i) {
    files.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    closes[files.back()] = 0;
  }
  closesOf = &closes;
  testThread = GetCurrentThreadId();
  systemCalls.closeHandle = recordedClose;
  closeWrittenFilesOn(4);
  for (HANDLE file : files) closeWrittenFile(file);
  int closed = 0;
  for (int waited = 0; closed < 3 && waited < 10000; waited += 10) {
    Sleep(10);
    AcquireSRWLockExclusive(&closesLock);
    closed = 0;
    for (HANDLE file : files) closed += closes[file];
    ReleaseSRWLockExclusive(&closesLock);
  }
  EXPECT_EQ(closed, 3) << "files handed over stayed open";
  finishClosingWrittenFiles();
  systemCalls = realCalls;
  for (HANDLE file : files) EXPECT_EQ(closes[file], 1);
}

}  // namespace
