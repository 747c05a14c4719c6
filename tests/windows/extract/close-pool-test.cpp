// The closing of written files beside the unpacking: whatever its threads
// and their calls do, every file handed over is closed exactly once, and
// all of them by the time the closing is finished, before anything starts.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "diag/system-calls.h"
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
    // An end that cannot wait for the threads waits for their closes.
    {"no wait for the end", 4, [](SystemCalls* calls) { calls->waitForMultipleObjects = failedWait; },
     Closer::THREADS},
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
    systemCalls.closeHandle = recordedClose;
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
    Sleep(50);  // a close that came late would show now
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
