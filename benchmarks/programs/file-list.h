// The files of one folder (no subfolders), listed before any timing starts,
// for the programs that measure Wine's cost of the bootstrap's file calls.
#pragma once
#include <windows.h>
#include <stdint.h>

struct FileEntry {
  wchar_t path[MAX_PATH];
  uint64_t size;
};

// Fills entries with the folder's regular files; returns their number, or -1
// when the folder cannot be read or holds more than capacity files.
int listFolderFiles(const wchar_t* folder, FileEntry* entries, int capacity);

// Seconds since start, from the performance counter.
double secondsSince(const LARGE_INTEGER& start);
