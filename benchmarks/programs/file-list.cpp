#include "file-list.h"

#include <stdio.h>
#include <wchar.h>

namespace {

bool isDotEntry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Appends the entries of folder (and, depth first, of the folders in it) at
// entries[count]; returns the new count or -1.
int listInto(const wchar_t* folder, FileEntry* entries, int count, int capacity) {
  wchar_t pattern[LISTED_PATH_CAPACITY];
  if (swprintf(pattern, LISTED_PATH_CAPACITY, L"%ls\\*", folder) < 0) return -1;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return -1;
  do {
    if (isDotEntry(found.cFileName)) continue;
    if (count == capacity) { count = -1; break; }
    FileEntry& entry = entries[count++];
    if (swprintf(entry.path, LISTED_PATH_CAPACITY, L"%ls\\%ls", folder, found.cFileName) < 0) { count = -1; break; }
    entry.size = ((uint64_t)found.nFileSizeHigh << 32) | found.nFileSizeLow;
    entry.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (entry.isDirectory) count = listInto(entry.path, entries, count, capacity);
  } while (count >= 0 && FindNextFileW(search, &found));
  FindClose(search);
  return count;
}

}  // namespace

int listFolderFiles(const wchar_t* folder, FileEntry* entries, int capacity) {
  return listInto(folder, entries, 0, capacity);
}

double secondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return (double)(now.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}
