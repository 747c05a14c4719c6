// The checksum of a file already in the target directory, taken through a
// read-only mapping so that nothing is copied and nobody is locked out.
#include <windows.h>

#include "diag/release.h"
#include "payload/crc32.h"
#include "payload/file-checksum.h"

namespace {

uint32_t checksumView(const void* view, DWORD length) {
  return recordChecksum(crc32Update(0, static_cast<const unsigned char*>(view), length));
}

uint32_t checksumMapping(HANDLE mapping, DWORD length) {
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) return NO_USABLE_FILE;
  uint32_t checksum = checksumView(view, length);
  releaseQuietly(UnmapViewOfFile(view));
  return checksum;
}

// Only the low 32 bits of the length are used: a file of 4 GiB or more is
// checksummed over its first (length modulo 2^32) bytes and, in practice,
// rewritten. An empty file cannot be mapped and so counts as unusable.
uint32_t checksumOpenFile(HANDLE file) {
  DWORD length = GetFileSize(file, nullptr);
  if (length == INVALID_FILE_SIZE) return NO_USABLE_FILE;
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) return NO_USABLE_FILE;
  uint32_t checksum = checksumMapping(mapping, length);
  closeQuietly(mapping);
  return checksum;
}

}  // namespace

uint32_t existingFileChecksum(const wchar_t* path) {
  // Sharing everything keeps this open out of the way of other processes,
  // such as the program of an earlier run that is still running.
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return NO_USABLE_FILE;
  uint32_t checksum = checksumOpenFile(file);
  closeQuietly(file);
  return checksum;
}
