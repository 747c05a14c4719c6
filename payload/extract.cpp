// The record loop: for each file record, keep the file already in the target
// directory when its checksum matches the record's, write it otherwise.
#include "payload/extract.h"

#include "diag/release.h"
#include "diag/report.h"
#include "diag/text.h"
#include "paths/target-directory.h"
#include "payload/directories.h"
#include "payload/file-checksum.h"
#include "payload/file-content.h"
#include "payload/held-files.h"
#include "payload/reader.h"
#include "payload/name-inside-folder.h"
#include "payload/record-steps.h"

wchar_t firstFilePath[PATH_CAPACITY];
RecordHeader record;

namespace {

wchar_t targetPath[PATH_CAPACITY];

// targetPath = target directory, a backslash, the record's name.
void buildTargetPath(void) {
  targetPath[0] = L'\0';
  appendWideBounded(targetPath, PATH_CAPACITY, targetDirectory);
  appendWideBounded(targetPath, PATH_CAPACITY, L"\\");
  appendWideBounded(targetPath, PATH_CAPACITY, record.name);
}

// A plain comparison, which payloads already built rely on: a stored 0 would
// match a missing file, so the packer never stores 0 (see recordChecksum).
// An empty file, which no mapping can checksum, is what an empty record
// holds: writing it again would shut out, for that moment, a program of an
// earlier start that opens it.
bool isCurrent(const ExistingFile& existing) {
  return existing.checksum == record.checksum || (record.size == 0 && existing.isEmpty);
}

// Opens targetPath to be written anew. A file that was there already is
// judged again through the handle, which nobody else can write through, and
// cut only if it still differs: another start may have finished it since
// this run looked. INVALID_HANDLE_VALUE when it proved current (*current) or
// could not be opened or cut (*errorCode).
HANDLE openToWriteAnew(bool* current, uint32_t* errorCode) {
  bool existed = false;
  HANDLE file = openForWriting(targetPath, &existed);
  if (file == INVALID_HANDLE_VALUE) {
    *errorCode = GetLastError();
    return file;
  }
  if (!existed) return file;
  ExistingFile found = checkOpenFile(file);
  *current = isCurrent(found);
  *errorCode = *current || found.isEmpty ? 0 : cutToNothing(file);  // an empty file needs no cut
  if (!*current && *errorCode == 0) return file;
  closeQuietly(file);
  return INVALID_HANDLE_VALUE;
}

// Writes the record's content to targetPath, unless the file proves current
// first: another start that was writing it has finished, or it is an empty
// file a program keeps open. False when the content is still to be skipped.
// A held file is checksummed again only when it has changed since the wait
// last looked at it.
bool writeRecordContent(HeldFileWait* wait) {
  for (;;) {
    bool current = false;
    uint32_t errorCode = 0;
    HANDLE file = openToWriteAnew(&current, &errorCode);
    if (file != INVALID_HANDLE_VALUE) {
      writeFileContent(file, record.size);
      return true;
    }
    if (current) return false;
    if (!waitForHeldFile(wait, targetPath, errorCode)) {
      if (isHeldEmptyFileCurrent(wait)) return false;
      endWithWideText(MESSAGE_OPEN_FOR_WRITING_FAILED, targetPath);
    }
    if (wait->changed && isCurrent(checkWhenFree(targetPath, wait))) return false;
  }
}

}  // namespace

// A name that would leave the target directory means a damaged or crafted
// payload: it is reported as such before anything of its record is written.
void prepareRecord(void) {
  if (!isNameInsideFolder(record.name)) fatalError(MESSAGE_DECODE_FAILED);
  buildTargetPath();
  if (firstFilePath[0] == L'\0') appendWideBounded(firstFilePath, PATH_CAPACITY, targetPath);
}

// The check makes no write open: a file that is current is left alone even
// while a running program has it loaded, which Windows would not let anyone
// open for writing. A file in a directory that this run made is not looked
// for: it can only be missing, unless another start has made it since, which
// the write open finds out.
bool isRecordFileCurrent(HeldFileWait* wait) {
  *wait = HeldFileWait{};
  wait->emptyIsCurrent = record.size == 0;
  ExistingFile missing = {NO_USABLE_FILE, false};
  return isCurrent(isInCreatedDirectory(targetPath) ? missing : checkWhenFree(targetPath, wait));
}

void writeRecordFile(HeldFileWait* wait) {
  createDirectories(targetPath);
  if (!writeRecordContent(wait)) skipFileContent(record.size);
}

// The header has been read; the content follows.
void unpackFileRecord(void) {
  prepareRecord();
  HeldFileWait wait;
  if (isRecordFileCurrent(&wait))
    skipFileContent(record.size);
  else
    writeRecordFile(&wait);
}

void unpackPayload(void) {
  if (unpackIndexedGroups()) return;
  while (payloadReadRecordHeader(&record)) unpackFileRecord();
}
