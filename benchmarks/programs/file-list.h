// The files of one folder and of the folders below it, listed before any
// timing starts, for the programs that measure Wine's cost of the bootstrap's
// file calls.
#pragma once
#include <windows.h>
#include <stdint.h>

// Room for a path below the benchmarks' build folder, nested folders included.
enum : int { LISTED_PATH_CAPACITY = 2 * MAX_PATH };

struct FileEntry {
  wchar_t path[LISTED_PATH_CAPACITY];
  uint64_t size;
  bool isDirectory;
};

// Fills entries with the folder's regular files and folders, each folder
// before what it holds; returns their number, or -1 when a folder cannot be
// read, a path does not fit or there are more than capacity entries.
int listFolderFiles(const wchar_t* folder, FileEntry* entries, int capacity);

// Seconds since start, from the performance counter.
double secondsSince(const LARGE_INTEGER& start);
