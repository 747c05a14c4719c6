// The checksum of a file already in the target directory, taken through a
// read-only mapping so that nothing is copied and nobody is locked out.
#include <windows.h>

#include "diag/release.h"
#include "diag/system-calls.h"
#include "payload/crc32.h"
#include "payload/file-checksum.h"
#include "payload/held-files.h"

namespace {

uint32_t checksumView(const void* view, DWORD length) {
  return recordChecksum(crc32Update(0, static_cast<const unsigned char*>(view), length));
}

uint32_t checksumMapping(HANDLE mapping, DWORD length) {
  const void* view = systemCalls.mapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) return NO_USABLE_FILE;
  uint32_t checksum = checksumView(view, length);
  releaseQuietly(systemCalls.unmapViewOfFile(view));
  return checksum;
}

// Sharing everything keeps this open out of the way of other processes, such
// as the program of an earlier run that is still running.
HANDLE openToCheck(const wchar_t* path) {
  return systemCalls.createFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

ExistingFile checkAndClose(HANDLE file) {
  ExistingFile found = checkOpenFile(file);
  closeQuietly(file);
  return found;
}

}  // namespace

// Only the low 32 bits of the length are used: a file of 4 GiB or more is
// checksummed over its first (length modulo 2^32) bytes and, in practice,
// rewritten. An empty file cannot be mapped and so has no checksum; it is
// told apart from a file that cannot be used at all.
ExistingFile checkOpenFile(HANDLE file) {
  DWORD length = systemCalls.getFileSize(file, nullptr);
  if (length == INVALID_FILE_SIZE) return ExistingFile{NO_USABLE_FILE, false};
  HANDLE mapping = systemCalls.createFileMapping(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) return ExistingFile{NO_USABLE_FILE, length == 0};
  uint32_t checksum = checksumMapping(mapping, length);
  closeQuietly(mapping);
  return ExistingFile{checksum, false};
}

bool holdsRecordContent(const RecordHeader& record, const ExistingFile& found) {
  return found.checksum == record.checksum || (record.size == 0 && found.isEmpty);
}

uint32_t existingFileChecksum(const wchar_t* path) {
  HANDLE file = openToCheck(path);
  if (file == INVALID_HANDLE_VALUE) return NO_USABLE_FILE;
  return checkAndClose(file).checksum;
}

// Only a writer that shares no reading refuses this open: another start
// writing the file, or a scanner looking at it. Its content is judged once
// it is free, never half-written.
ExistingFile checkWhenFree(const wchar_t* path, HeldFileWait* wait) {
  for (;;) {
    HANDLE file = openToCheck(path);
    wait->readable = file != INVALID_HANDLE_VALUE;
    if (wait->readable) return checkAndClose(file);
    if (!waitForHeldFile(wait, path, GetLastError())) return ExistingFile{NO_USABLE_FILE, isHeldEmptyFileCurrent(wait)};
  }
}
