#include "file-list.h"

#include <stdio.h>

int listFolderFiles(const wchar_t* folder, FileEntry* entries, int capacity) {
  wchar_t pattern[MAX_PATH];
  swprintf(pattern, MAX_PATH, L"%ls\\*", folder);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return -1;
  int count = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (count == capacity) {
      count = -1;
      break;
    }
    swprintf(entries[count].path, MAX_PATH, L"%ls\\%ls", folder, found.cFileName);
    entries[count].size = ((uint64_t)found.nFileSizeHigh << 32) | found.nFileSizeLow;
    ++count;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return count;
}

double secondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return (double)(now.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}
