// Files of the cache that another process holds for a while: another start of
// the same application writing them, or an on-access scanner or backup tool
// reading a file just after it was written. Such a hold is waited out rather
// than taken for a failure (held-files.cpp).
#pragma once
#include <windows.h>
#include <stdint.h>

// How long a held file may stay as it is before the run gives up on it. A file
// that another start is writing keeps changing, so that wait has no bound; a
// scanner's look at a new file takes moments.
enum : DWORD {
  HELD_FILE_PATIENCE_MS = 30000,
  HELD_FILE_FIRST_PAUSE_MS = 1,
  HELD_FILE_LONGEST_PAUSE_MS = 100,
};

// What one record's waits have seen of its file. Zero-initialised per record:
// a record that meets no holder never touches it.
struct HeldFileWait {
  bool emptyIsCurrent;       // set for an empty record: an empty file needs no write
  ULONGLONG unchangedSince;  // clock reading when the file was last seen to change
  DWORD pauseMs;             // the next pause; 0 before the first wait
  bool seen;                 // whether the fields below hold a reading
  DWORD attributes;          // the file as last seen (attributes, size, last write)
  uint64_t size;
  FILETIME lastWrite;
};

// True for the codes of an open that another process's handle or mapping
// refused: a sharing or lock violation, or a mapped file that cannot be cut.
bool isHeldByAnother(DWORD errorCode);

// Called after an open of path failed with errorCode. When another process
// holds the file, pauses (a little longer each time) and returns true: the
// caller tries again. Returns false at once for any other failure, and once
// the file has been held without changing for HELD_FILE_PATIENCE_MS, or is
// an empty file where emptyIsCurrent.
bool waitForHeldFile(HeldFileWait* wait, const wchar_t* path, DWORD errorCode);

// True when the wait is for an empty record and found the held file empty:
// it already is what the record holds. A program that keeps an empty file
// open (every start writes those again) so never holds a later start up.
bool isHeldEmptyFileCurrent(const HeldFileWait* wait);
