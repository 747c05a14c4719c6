// The record loop: for each file record, keep the file already in the target
// directory when its checksum matches the record's, write it otherwise.
#include "payload/extract.h"

#include <stdint.h>

#include "diag/report.h"
#include "paths/environment.h"
#include "payload/file-content.h"
#include "payload/reader.h"

wchar_t firstFilePath[PATH_CAPACITY];

namespace {

wchar_t recordName[RECORD_NAME_CAPACITY];
wchar_t targetPath[PATH_CAPACITY];

// Reads the next name, one code unit at a time, up to and including its zero
// unit. A name that does not fit ends the run without a message, as every
// other full buffer does: such a payload was never made by the packer, and a
// message could not name anything the user can act on.
void readRecordName(void) {
  for (unsigned used = 0;; ++used) {
    if (used == RECORD_NAME_CAPACITY) endRunOnFullBuffer();
    payloadRead(&recordName[used], sizeof recordName[0]);
    if (recordName[used] == L'\0') return;
  }
}

// targetPath = target directory, a backslash, the record's name.
void buildTargetPath(void) {
  targetPath[0] = L'\0';
  appendWideBounded(targetPath, PATH_CAPACITY, targetDirectory);
  appendWideBounded(targetPath, PATH_CAPACITY, L"\\");
  appendWideBounded(targetPath, PATH_CAPACITY, recordName);
}

// The name has been read; the size, checksum and content follow.
void unpackFileRecord(void) {
  buildTargetPath();
  if (firstFilePath[0] == L'\0') appendWideBounded(firstFilePath, PATH_CAPACITY, targetPath);

  uint64_t size = 0;
  uint32_t storedChecksum = 0;
  payloadRead(&size, sizeof size);
  payloadRead(&storedChecksum, sizeof storedChecksum);

  // A plain comparison, which payloads already built rely on: a stored 0 would
  // match a missing file, so the packer never stores 0 (a CRC-32 of 0 is
  // stored as 1, as existingFileChecksum counts it).
  if (existingFileChecksum(targetPath) == storedChecksum) {
    skipFileContent(size);
    return;
  }
  createDirectories(targetPath);
  writeFileContent(targetPath, size);
}

}  // namespace

void unpackPayload(void) {
  for (;;) {
    readRecordName();
    if (recordName[0] == L'\0') return;  // the end record
    unpackFileRecord();
  }
}
