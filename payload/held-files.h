// Files of the cache that another process holds for a while: another start of
// the same application writing them, an on-access scanner or backup tool
// reading a file just after it was written, or a running program that has
// loaded or mapped one. A hold that will end is waited out rather than taken
// for a failure; one that cannot end while its holder runs is not
// (held-files.cpp).
#pragma once
#include <windows.h>
#include <stdint.h>

// How long a held file may stay as it is before the run gives up on it.
//  - A file that this run cannot even read is held by a writer sharing
//    nothing: another start writing it (which keeps changing it), or a
//    scanner taking its look at a new file (moments).
//  - A file that this run can read but not write, and that differs, is held
//    by a running program that loaded it (Windows refuses writes to a loaded
//    image) or by a scanner that shares reading: only the scanner will let
//    go, after a short grace (which also covers another start's checksum of
//    a large file).
//  - However the file changes, no wait lasts longer than the bound, so that
//    no start waits forever.
enum : DWORD {
  HELD_FILE_PATIENCE_MS = 30000,
  HELD_FILE_GRACE_MS = 5000,
  HELD_FILE_BOUND_MS = 300000,
  HELD_FILE_FIRST_PAUSE_MS = 1,
  HELD_FILE_LONGEST_PAUSE_MS = 100,
};

// What one record's waits have seen of its file. Zero-initialised per record:
// a record that meets no holder never touches it.
struct HeldFileWait {
  bool emptyIsCurrent;       // set for an empty record: an empty file needs no write
  bool readable;             // the last check could read the file: its holder is no writer
  bool changed;              // the last wait saw the file differ from the one before (or saw it first)
  ULONGLONG firstPauseAt;    // clock reading at the first pause
  ULONGLONG unchangedSince;  // clock reading when the file was last seen to change
  DWORD pauseMs;             // the next pause; 0 before the first wait
  bool seen;                 // whether the fields below hold a reading
  DWORD attributes;          // the file as last seen (attributes, size, last write)
  uint64_t size;
  FILETIME lastWrite;
};

// Called after an open of path failed with errorCode. When another process
// holds the file in a way that will end, pauses (a little longer each time)
// and returns true: the caller tries again. Returns false at once for any
// other failure and for a file mapped by a running program, once the file has
// stayed unchanged past the patience (or the grace, when it is readable) or
// the bound has passed, or when it is an empty file where emptyIsCurrent.
bool waitForHeldFile(HeldFileWait* wait, const wchar_t* path, DWORD errorCode);

// True when the wait is for an empty record and found the held file empty:
// it already is what the record holds. A program that keeps an empty file
// open so never holds a later start up.
bool isHeldEmptyFileCurrent(const HeldFileWait* wait);
