// Wine's cost of the warm start's file check alone: for every file below a
// folder, the bootstrap's own check of an existing file (existingFileChecksum:
// open sharing everything, size, read-only mapping, view, CRC-32, unmap,
// close), linked from the bootstrap so that the two cannot drift apart.
// Prints "<seconds> <files> <xor of the checksums>"; the time excludes the
// start and the listing.
//
//   check-files FOLDER
#include <windows.h>
#include <stdio.h>

#include "file-list.h"
#include "payload/file-checksum.h"

namespace {

constexpr int MAX_ENTRIES = 20000;
FileEntry entries[MAX_ENTRIES];

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  int count = listFolderFiles(argv[1], entries, MAX_ENTRIES);
  if (count < 0) return 3;
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  uint32_t combined = 0;
  int files = 0;
  for (int i = 0; i < count; ++i) {
    if (entries[i].isDirectory) continue;
    uint32_t checksum = existingFileChecksum(entries[i].path);
    // Only an empty file may count as unusable: it cannot be mapped.
    if (checksum == NO_USABLE_FILE && entries[i].size != 0) return 4;
    combined ^= checksum;
    ++files;
  }
  printf("%.6f %d %08x\n", secondsSince(start), files, (unsigned)combined);
  return 0;
}
