// Wine's cost of the cold start's writes alone: for every folder and file
// below a source folder, a folder or a file of the same name and size below a
// new target folder, made the way the bootstrap makes them in a folder it
// created (CreateDirectoryW once per folder; create new, 32 KiB pieces from
// one static buffer through the bootstrap's own writeContentPiece, close).
// Prints "<seconds> <files> <bytes>"; the time excludes the start and the
// listing.
//
//   write-files SOURCE_FOLDER TARGET_FOLDER
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "file-list.h"
#include "payload/file-content.h"

namespace {

constexpr int MAX_ENTRIES = 20000;
FileEntry entries[MAX_ENTRIES];
unsigned char piece[CONTENT_CHUNK_BYTES];

bool writeFileOfSize(const wchar_t* path, uint64_t size) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && size > 0) {
    DWORD count = size < CONTENT_CHUNK_BYTES ? (DWORD)size : (DWORD)CONTENT_CHUNK_BYTES;
    ok = writeContentPiece(file, piece, count) == 0;
    size -= count;
  }
  CloseHandle(file);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  int count = listFolderFiles(argv[1], entries, MAX_ENTRIES);
  if (count < 0) return 3;
  memset(piece, 0x5a, sizeof piece);
  size_t sourceLength = wcslen(argv[1]);
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  if (!CreateDirectoryW(argv[2], nullptr)) return 4;
  uint64_t bytes = 0;
  int files = 0;
  for (int i = 0; i < count; ++i) {
    wchar_t target[LISTED_PATH_CAPACITY];
    if (swprintf(target, LISTED_PATH_CAPACITY, L"%ls%ls", argv[2], entries[i].path + sourceLength) < 0) return 5;
    if (entries[i].isDirectory) {
      if (!CreateDirectoryW(target, nullptr)) return 6;
      continue;
    }
    if (!writeFileOfSize(target, entries[i].size)) return 7;
    bytes += entries[i].size;
    ++files;
  }
  printf("%.6f %d %llu\n", secondsSince(start), files, (unsigned long long)bytes);
  return 0;
}
