#include "bootstrap/housekeeping.h"

#include <windows.h>

#include "diag/release.h"
#include "diag/system-calls.h"
#include "paths/target-directory.h"
#include "payload/extract.h"
#include "payload/folder-removal.h"
#include "payload/old-versions.h"
#include "resources/embedded.h"

namespace {

// Room for the walk down the deepest tree that a path of PATH_CAPACITY units
// can name, one frame per folder; reserved, and committed only as used.
constexpr SIZE_T HOUSEKEEPING_STACK = 4 << 20;

// Once the application has ended, a removal still under way may finish for
// this long, which is enough for most old versions: a short-lived program
// would otherwise hardly ever see one finished. Then it is stopped, and the
// run waits at most as long again for it to leave its current call; a removal
// still busy then ends with the process. What it leaves, a later start
// finishes.
constexpr DWORD HOUSEKEEPING_GRACE_MS = 1000;

HANDLE housekeeper;

DWORD WINAPI keepHouse(void*) {
  // Behind the application's own start, for the processor and the disk.
  SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN);  // without it, only sooner
  removeOldVersions();
  return 0;
}

}  // namespace

void startHousekeeping(void) {
  if (!onefileRemovesOldVersions ||
      !prepareOldVersionRemoval(onefilePathTemplate, onefileVersionText, targetDirectory, firstFilePath))
    return;
  // Without a thread, the old folders wait for a later start.
  housekeeper = systemCalls.createThread(nullptr, HOUSEKEEPING_STACK, keepHouse, nullptr,
                                         STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
}

void finishHousekeeping(void) {
  if (housekeeper == nullptr) return;
  // Waits that fail end the removal no sooner than the process does.
  if (WaitForSingleObject(housekeeper, HOUSEKEEPING_GRACE_MS) != WAIT_OBJECT_0) {
    stopFolderRemovals();
    WaitForSingleObject(housekeeper, HOUSEKEEPING_GRACE_MS);
  }
  closeQuietly(housekeeper);
  housekeeper = nullptr;
}
