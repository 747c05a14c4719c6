// Wine's cost of the warm start's file check alone: for every file of a
// folder the calls the bootstrap makes on an existing file (open sharing
// everything, size, read-only mapping, view, zlib's CRC-32, unmap, close).
// Prints "<seconds> <files> <xor of the CRC-32s>"; the time excludes the start.
//
//   check-files FOLDER
#include <windows.h>
#include <stdio.h>
#include <zlib.h>

#include "file-list.h"

namespace {

constexpr int MAX_FILES = 100000;
FileEntry files[MAX_FILES];

bool checksumFile(const wchar_t* path, uLong* crc) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD length = GetFileSize(file, nullptr);
  HANDLE mapping = length == 0 ? nullptr : CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  const void* view = mapping == nullptr ? nullptr : MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (view != nullptr) {
    *crc = crc32(0L, (const Bytef*)view, length);
    UnmapViewOfFile(view);
  }
  if (mapping != nullptr) CloseHandle(mapping);
  CloseHandle(file);
  return length == 0 || view != nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  int count = listFolderFiles(argv[1], files, MAX_FILES);
  if (count < 0) return 3;
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  uLong combined = 0;
  for (int i = 0; i < count; ++i) {
    uLong crc = 0;
    if (!checksumFile(files[i].path, &crc)) return 4;
    combined ^= crc;
  }
  printf("%.6f %d %08lx\n", secondsSince(start), count, combined);
  return 0;
}
