// The console control handler runs on a thread of its own, where ordinary
// calls are safe. It ends the programs the tool runs first (they are in a job
// of their own); until they are gone, the files they hold open cannot be
// removed, so removal is tried again for a while. The handler then returns
// FALSE and the system ends the process as the event would have.
#include "host/interrupt-cleanup.h"

#include <windows.h>

#include <system_error>

#include "host/flat-folder.h"

namespace onefile {
namespace {

constexpr int SLOT_COUNT = 8;
constexpr int REMOVAL_ATTEMPTS = 30;
constexpr DWORD RETRY_PAUSE_MS = 100;  // 3 s in all, within what Windows allows a closing console (5 s)

enum class Watched { NOTHING, FILE, FOLDER };

struct Slot {
  Watched kind = Watched::NOTHING;
  std::filesystem::path path;
};

SRWLOCK slotsLock = SRWLOCK_INIT;
Slot slots[SLOT_COUNT];
HANDLE children = nullptr;  // the job of the programs the tool runs, ended with the tool

bool removeFile(const std::filesystem::path& file) {
  return DeleteFileW(file.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
}

bool removeSlot(const Slot& slot) {
  if (slot.kind == Watched::FILE) return removeFile(slot.path);
  return slot.kind != Watched::FOLDER || removeFlatFolder(slot.path);
}

// Files first: an output may be pending inside a watched folder.
bool removeAll() {
  bool removed = true;
  for (Watched kind : {Watched::FILE, Watched::FOLDER})
    for (const Slot& slot : slots)
      if (slot.kind == kind && !removeSlot(slot)) removed = false;
  return removed;
}

// The lock stays taken: from here until the process ends, nothing is
// registered or released, so nothing watched is handed back half removed.
// Log-off and shut-down reach only the console programs of services (any
// user's log-off): they are left to the system's own handling.
BOOL WINAPI removeWatchedOnControlEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  AcquireSRWLockExclusive(&slotsLock);
  if (children != nullptr) TerminateJobObject(children, STATUS_CONTROL_C_EXIT);
  for (int attempt = 1; !removeAll() && attempt < REMOVAL_ATTEMPTS; ++attempt) Sleep(RETRY_PAUSE_MS);
  return FALSE;
}

void installHandler() {
  static INIT_ONCE installed = INIT_ONCE_STATIC_INIT;
  InitOnceExecuteOnce(
      &installed,
      [](PINIT_ONCE, PVOID, PVOID*) -> BOOL { return SetConsoleCtrlHandler(removeWatchedOnControlEvent, TRUE); },
      nullptr, nullptr);
}

int watch(const std::filesystem::path& path, Watched kind) {
  installHandler();
  AcquireSRWLockExclusive(&slotsLock);
  int found = -1;
  for (int index = 0; index < SLOT_COUNT && found < 0; ++index)
    if (slots[index].kind == Watched::NOTHING) found = index;
  if (found >= 0) slots[found] = Slot{kind, path};
  ReleaseSRWLockExclusive(&slotsLock);
  return found;
}

}  // namespace

void InterruptCleanup::watchFile(const std::filesystem::path& file) {
  stop();
  slot_ = watch(file, Watched::FILE);
}

void InterruptCleanup::watchFlatFolder(const std::filesystem::path& folder) {
  stop();
  slot_ = watch(folder, Watched::FOLDER);
}

void InterruptCleanup::stop() {
  if (slot_ < 0) return;
  AcquireSRWLockExclusive(&slotsLock);
  slots[slot_] = Slot{};
  ReleaseSRWLockExclusive(&slotsLock);
  slot_ = -1;
}

bool endWithInterrupt(void* process) {
  static INIT_ONCE created = INIT_ONCE_STATIC_INIT;
  InitOnceExecuteOnce(
      &created,
      [](PINIT_ONCE, PVOID, PVOID*) -> BOOL {
        HANDLE job = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (job != nullptr && !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
          CloseHandle(job);
          job = nullptr;
        }
        children = job;
        return TRUE;
      },
      nullptr, nullptr);
  installHandler();
  return children != nullptr && AssignProcessToJobObject(children, static_cast<HANDLE>(process));
}

}  // namespace onefile
