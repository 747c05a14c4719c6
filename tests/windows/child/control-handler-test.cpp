// consoleCtrlHandler called directly, as the system calls it on a thread of
// its own, with a real child process in childProcess.
#include <gtest/gtest.h>

#include "bootstrap/child.h"
#include "harness.h"

namespace {

constexpr DWORD CTRL_C_EXIT_STATUS = 0xC000013A;
const DWORD SUPERVISED_EVENTS[] = {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT,
                                   CTRL_SHUTDOWN_EVENT};
const DWORD OTHER_EVENTS[] = {3, 4, 7, 100, 0xFFFFFFFF};

// A test child that keeps running, whatever events it gets, until it is ended.
HANDLE startLastingChild() {
  harness::RunOptions options;
  options.environment = {{L"CHILD_ON_EVENT", L"ignore"}};
  return harness::start(harness::binPath(L"test-child.exe"), options);
}

HANDLE startEndingChild(DWORD status) {
  harness::RunOptions options;
  options.environment = {{L"CHILD_EXIT_CODE", std::to_wstring(status)}};
  HANDLE child = harness::start(harness::binPath(L"test-child.exe"), options);
  WaitForSingleObject(child, 60000);
  return child;
}

// What the handler gets: a handle of the bootstrap's own, apart from the
// test's, so that the test sees whether the handler closed it.
HANDLE shareWithHandler(HANDLE child) {
  HANDLE shared = nullptr;
  DuplicateHandle(GetCurrentProcess(), child, GetCurrentProcess(), &shared, 0, FALSE, DUPLICATE_SAME_ACCESS);
  childProcess = shared;
  return shared;
}

bool isOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

DWORD exitStatusOf(HANDLE process) {
  DWORD status = 0;
  GetExitCodeProcess(process, &status);
  return status;
}

void endChild(HANDLE child) {
  TerminateProcess(child, 0);
  WaitForSingleObject(child, 60000);
  CloseHandle(child);
}

TEST(ConsoleCtrlHandler, ReturnsFalseForEveryEventWhenNoChildRuns) {
  childProcess = nullptr;
  for (DWORD event : SUPERVISED_EVENTS) EXPECT_EQ(consoleCtrlHandler(event), FALSE) << event;
  for (DWORD event : OTHER_EVENTS) EXPECT_EQ(consoleCtrlHandler(event), FALSE) << event;
  EXPECT_EQ(childProcess, nullptr);
}

TEST(ConsoleCtrlHandler, LeavesTheChildAndItsHandleAloneOnOtherEvents) {
  HANDLE child = startLastingChild();
  HANDLE shared = shareWithHandler(child);
  for (DWORD event : OTHER_EVENTS) {
    EXPECT_EQ(consoleCtrlHandler(event), FALSE) << event;
    EXPECT_EQ(childProcess, shared) << event;
  }
  EXPECT_TRUE(isOpen(shared));
  EXPECT_EQ(WaitForSingleObject(child, 0), (DWORD)WAIT_TIMEOUT) << "the child must still run";
  childProcess = nullptr;
  CloseHandle(shared);
  endChild(child);
}

TEST(ConsoleCtrlHandler, TakesTheHandleOutAndClosesItOnEachSupervisedEvent) {
  for (DWORD event : SUPERVISED_EVENTS) {
    HANDLE child = startEndingChild(7);  // already ended: the handler need not wait
    HANDLE shared = shareWithHandler(child);
    EXPECT_EQ(consoleCtrlHandler(event), FALSE) << event;
    EXPECT_EQ(childProcess, nullptr) << event;
    EXPECT_FALSE(isOpen(shared)) << event;
    EXPECT_EQ(exitStatusOf(child), 7u) << "an ended child keeps its status";
    // A second event finds no child.
    EXPECT_EQ(consoleCtrlHandler(event), FALSE) << event;
    CloseHandle(child);
  }
}

TEST(ConsoleCtrlHandler, TerminatesAChildStillRunningAfterTheGraceTimeWithTheCtrlCStatus) {
  HANDLE child = startLastingChild();
  HANDLE shared = shareWithHandler(child);
  EXPECT_EQ(consoleCtrlHandler(CTRL_C_EVENT), FALSE);
  ASSERT_EQ(WaitForSingleObject(child, 60000), WAIT_OBJECT_0) << "the child must have been ended";
  EXPECT_EQ(exitStatusOf(child), CTRL_C_EXIT_STATUS);
  EXPECT_EQ(childProcess, nullptr);
  EXPECT_FALSE(isOpen(shared));
  CloseHandle(child);
}

DWORD WINAPI callHandlerWithBreak(void* result) {
  *static_cast<BOOL*>(result) = consoleCtrlHandler(CTRL_BREAK_EVENT);
  return 0;
}

TEST(ConsoleCtrlHandler, LeavesAChildThatEndsWithinTheGraceTimeItsOwnStatus) {
  HANDLE child = startLastingChild();
  HANDLE shared = shareWithHandler(child);
  BOOL handlerResult = TRUE;
  HANDLE handlerThread = CreateThread(nullptr, 0, callHandlerWithBreak, &handlerResult, 0, nullptr);
  // The handler gives the child time rather than ending it at once...
  EXPECT_EQ(WaitForSingleObject(child, 500), (DWORD)WAIT_TIMEOUT);
  // ...and the child ends by itself meanwhile, as far as the handler can tell.
  TerminateProcess(child, 42);
  ASSERT_EQ(WaitForSingleObject(handlerThread, 60000), WAIT_OBJECT_0);
  CloseHandle(handlerThread);
  EXPECT_EQ(handlerResult, FALSE);
  EXPECT_EQ(exitStatusOf(child), 42u) << "not terminated by the handler";
  EXPECT_EQ(childProcess, nullptr);
  EXPECT_FALSE(isOpen(shared));
  CloseHandle(child);
}

struct HandlerCall {
  DWORD event;
  BOOL result = TRUE;
  bool childEndedOnReturn = false;
  HANDLE child = nullptr;
};

DWORD WINAPI callHandler(void* context) {
  auto* call = static_cast<HandlerCall*>(context);
  call->result = consoleCtrlHandler(call->event);
  call->childEndedOnReturn = WaitForSingleObject(call->child, 0) == WAIT_OBJECT_0;
  return 0;
}

// A second event while the first is still giving the child its time must not
// hand the bootstrap to the system before the child has been dealt with.
TEST(ConsoleCtrlHandler, ASecondEventReturnsOnlyOnceTheFirstHasEndedTheChild) {
  HANDLE child = startLastingChild();
  HANDLE shared = shareWithHandler(child);
  HandlerCall first{CTRL_C_EVENT}, second{CTRL_CLOSE_EVENT};
  first.child = second.child = child;
  HANDLE firstThread = CreateThread(nullptr, 0, callHandler, &first, 0, nullptr);
  while (childProcess != nullptr) Sleep(10);  // the first handler has taken the child
  HANDLE secondThread = CreateThread(nullptr, 0, callHandler, &second, 0, nullptr);
  HANDLE threads[] = {firstThread, secondThread};
  ASSERT_EQ(WaitForMultipleObjects(2, threads, TRUE, 60000), WAIT_OBJECT_0);
  CloseHandle(firstThread);
  CloseHandle(secondThread);
  EXPECT_EQ(first.result, FALSE);
  EXPECT_EQ(second.result, FALSE);
  EXPECT_TRUE(second.childEndedOnReturn) << "the second event returned while the child still ran";
  EXPECT_EQ(exitStatusOf(child), CTRL_C_EXIT_STATUS);
  EXPECT_FALSE(isOpen(shared));
  CloseHandle(child);
}

}  // namespace
