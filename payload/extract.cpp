// The record loop: for each file record, keep the file already in the target
// directory when its checksum matches the record's, write it otherwise.
#include "payload/extract.h"

#include "diag/report.h"
#include "diag/text.h"
#include "paths/target-directory.h"
#include "payload/directories.h"
#include "payload/file-checksum.h"
#include "payload/file-content.h"
#include "payload/reader.h"
#include "payload/name-inside-folder.h"

wchar_t firstFilePath[PATH_CAPACITY];

namespace {

RecordHeader record;
wchar_t targetPath[PATH_CAPACITY];

// targetPath = target directory, a backslash, the record's name.
void buildTargetPath(void) {
  targetPath[0] = L'\0';
  appendWideBounded(targetPath, PATH_CAPACITY, targetDirectory);
  appendWideBounded(targetPath, PATH_CAPACITY, L"\\");
  appendWideBounded(targetPath, PATH_CAPACITY, record.name);
}

// The header has been read; the content follows. A name that would leave the
// target directory means a damaged or crafted payload: it is reported as such
// before anything of its record is written.
void unpackFileRecord(void) {
  if (!isNameInsideFolder(record.name)) fatalError(MESSAGE_DECODE_FAILED);
  buildTargetPath();
  if (firstFilePath[0] == L'\0') appendWideBounded(firstFilePath, PATH_CAPACITY, targetPath);

  // A plain comparison, which payloads already built rely on: a stored 0 would
  // match a missing file, so the packer never stores 0 (see recordChecksum).
  // A file in a directory that this run made is not looked for: it can only
  // be missing, which is what it then counts as.
  uint32_t existing = isInCreatedDirectory(targetPath) ? NO_USABLE_FILE : existingFileChecksum(targetPath);
  if (existing == record.checksum) {
    skipFileContent(record.size);
    return;
  }
  createDirectories(targetPath);
  writeFileContent(targetPath, record.size);
}

}  // namespace

void unpackPayload(void) {
  while (payloadReadRecordHeader(&record)) unpackFileRecord();
}
