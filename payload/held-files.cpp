#include "payload/held-files.h"

#include "diag/system-calls.h"
#include "payload/file-content.h"
#include "payload/held-files-seams.h"

HeldFileClock heldFileClock = {GetTickCount64, Sleep};

namespace {

// Reads what the file looks like now without opening it for its data, which
// no holder's share mode can refuse. A file that cannot be read so counts as
// gone, which is a change too.
void lookAt(const wchar_t* path, HeldFileWait* now) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!systemCalls.getFileAttributesEx(path, GetFileExInfoStandard, &data)) {
    now->attributes = INVALID_FILE_ATTRIBUTES;
    now->size = 0;
    now->lastWrite = FILETIME{0, 0};
    return;
  }
  now->attributes = data.dwFileAttributes;
  now->size = ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
  now->lastWrite = data.ftLastWriteTime;
}

bool isSameLook(const HeldFileWait& a, const HeldFileWait& b) {
  return a.attributes == b.attributes && a.size == b.size &&
         a.lastWrite.dwLowDateTime == b.lastWrite.dwLowDateTime &&
         a.lastWrite.dwHighDateTime == b.lastWrite.dwHighDateTime;
}

DWORD nextPause(DWORD pause) {
  if (pause == 0) return HELD_FILE_FIRST_PAUSE_MS;
  return pause >= HELD_FILE_LONGEST_PAUSE_MS / 2 ? HELD_FILE_LONGEST_PAUSE_MS : pause * 2;
}

// An open refused because another process holds the file open without
// sharing it as asked: that hold ends when the other closes it.
bool isHeldOpenByAnother(DWORD errorCode) {
  return errorCode == ERROR_SHARING_VIOLATION || errorCode == ERROR_LOCK_VIOLATION;
}

}  // namespace

// A running program's mapping of the file, which makes the system refuse a
// cut (ERROR_USER_MAPPED_FILE), lasts as long as the program: no wait would
// end it, and it is not waited for. Every other hold is waited out while the file changes
// (another start writing it), and for a while when it does not: long for a
// file that cannot be read (a writer, or a scanner sharing nothing), short
// for one that can (a loaded program, or a scanner sharing reading).
bool waitForHeldFile(HeldFileWait* wait, const wchar_t* path, DWORD errorCode) {
  if (!isHeldOpenByAnother(errorCode)) return false;
  HeldFileWait now = *wait;
  lookAt(path, &now);
  now.seen = true;
  if (isHeldEmptyFileCurrent(&now)) {
    *wait = now;
    return false;
  }
  ULONGLONG clock = heldFileClock.now();
  if (!wait->seen) now.firstPauseAt = clock;
  now.changed = !wait->seen || !isSameLook(now, *wait);
  DWORD patience = wait->readable ? HELD_FILE_GRACE_MS : HELD_FILE_PATIENCE_MS;
  if (now.changed) {
    now.unchangedSince = clock;
  } else if (clock - wait->unchangedSince >= patience) {
    return false;
  }
  if (clock - now.firstPauseAt >= HELD_FILE_BOUND_MS) return false;
  now.pauseMs = nextPause(wait->pauseMs);
  *wait = now;
  noteContentProgress();
  heldFileClock.pause(wait->pauseMs);
  return true;
}

bool isHeldEmptyFileCurrent(const HeldFileWait* wait) {
  return wait->emptyIsCurrent && wait->seen && wait->attributes != INVALID_FILE_ATTRIBUTES &&
         (wait->attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && wait->size == 0;
}
