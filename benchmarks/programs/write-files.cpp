// Wine's cost of the cold start's writes alone: for every file of a source
// folder, a file of the same name and size in a new target folder, written
// the way the bootstrap writes into a folder it made (create new, 32 KiB
// WriteFile pieces from one static buffer, close). Prints "<seconds> <files>
// <bytes>"; the time excludes the start and the listing.
//
//   write-files SOURCE_FOLDER TARGET_FOLDER
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "file-list.h"

namespace {

constexpr int MAX_FILES = 100000;
constexpr DWORD PIECE_BYTES = 32768;
FileEntry files[MAX_FILES];
unsigned char piece[PIECE_BYTES];

bool writeFileOfSize(const wchar_t* path, uint64_t size) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_NEW, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && size > 0) {
    DWORD count = size < PIECE_BYTES ? (DWORD)size : PIECE_BYTES;
    DWORD written = 0;
    ok = WriteFile(file, piece, count, &written, nullptr) && written == count;
    size -= count;
  }
  CloseHandle(file);
  return ok;
}

// The target path: the target folder and the source file's own name.
void targetPathFor(const wchar_t* source, const wchar_t* targetFolder, wchar_t* target) {
  const wchar_t* name = wcsrchr(source, L'\\');
  swprintf(target, MAX_PATH, L"%ls%ls", targetFolder, name);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  int count = listFolderFiles(argv[1], files, MAX_FILES);
  if (count < 0) return 3;
  memset(piece, 0x5a, sizeof piece);
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  if (!CreateDirectoryW(argv[2], nullptr)) return 4;
  uint64_t bytes = 0;
  for (int i = 0; i < count; ++i) {
    wchar_t target[MAX_PATH];
    targetPathFor(files[i].path, argv[2], target);
    if (!writeFileOfSize(target, files[i].size)) return 5;
    bytes += files[i].size;
  }
  printf("%.6f %d %llu\n", secondsSince(start), count, (unsigned long long)bytes);
  return 0;
}
