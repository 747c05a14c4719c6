// The record loop: for each file record, keep the file already in the target
// directory when it holds the record's content, take it from another
// version's folder where the payload allows, write it otherwise.
#include "payload/extract.h"

#include "diag/release.h"
#include "diag/system-calls.h"
#include "diag/report.h"
#include "diag/text.h"
#include "paths/target-directory.h"
#include "payload/directories.h"
#include "payload/file-checksum.h"
#include "payload/file-content.h"
#include "payload/held-files.h"
#include "payload/indexed-groups.h"
#include "payload/reader.h"
#include "payload/name-inside-folder.h"
#include "payload/record-steps.h"
#include "payload/version-beside.h"

wchar_t firstFilePath[PATH_CAPACITY];

namespace {

wchar_t targetPath[PATH_CAPACITY];

// targetPath = target directory, a backslash, the record's name.
void buildTargetPath(const RecordHeader& record) {
  targetPath[0] = L'\0';
  appendWideBounded(targetPath, PATH_CAPACITY, targetDirectory);
  appendWideBounded(targetPath, PATH_CAPACITY, L"\\");
  appendWideBounded(targetPath, PATH_CAPACITY, record.name);
}

// A file that another name shares (a hard link that an update made, or one
// the user made) is never written through: the other folder's copy would
// change with it. Its name is removed instead, so that the write makes a new
// file in its place. When the count cannot be read, the name is removed too.
uint32_t removeSharedName(HANDLE file, bool* removed) {
  FILE_STANDARD_INFO info;
  *removed = !systemCalls.getFileInformationEx(file, FileStandardInfo, &info, sizeof info) || info.NumberOfLinks > 1;
  if (!*removed) return 0;
  closeQuietly(file);
  return systemCalls.deleteFile(targetPath) ? 0 : GetLastError();
}

// Opens targetPath to be written anew. A file that was there already is
// judged again through the handle, which nobody else can write through, and
// cut only if it still differs: another start may have finished it since
// this run looked. INVALID_HANDLE_VALUE when it proved current (*current),
// its shared name was removed (neither: open again), or it could not be
// opened, cut or removed (*errorCode).
HANDLE openToWriteAnew(const RecordHeader& record, bool* current, uint32_t* errorCode) {
  bool existed = false;
  HANDLE file = openForWriting(targetPath, &existed);
  if (file == INVALID_HANDLE_VALUE) {
    *errorCode = GetLastError();
    return file;
  }
  if (!existed) return file;
  ExistingFile found = checkOpenFile(file);
  *current = holdsRecordContent(record, found);
  bool removed = false;
  if (!*current) *errorCode = removeSharedName(file, &removed);
  if (removed) return INVALID_HANDLE_VALUE;
  if (!*current && !found.isEmpty) *errorCode = cutToNothing(file);  // an empty file needs no cut
  if (!*current && *errorCode == 0) return file;
  closeQuietly(file);
  return INVALID_HANDLE_VALUE;
}

// Writes the record's content to targetPath, unless the file proves current
// first: another start that was writing it has finished, or it is an empty
// file a program keeps open. False when the content is still to be skipped.
// A held file is checksummed again only when it has changed since the wait
// last looked at it.
bool writeRecordContent(RecordAtHand* record) {
  for (;;) {
    bool current = false;
    uint32_t errorCode = 0;
    HANDLE file = openToWriteAnew(record->header, &current, &errorCode);
    if (file != INVALID_HANDLE_VALUE) {
      writeFileContent(file, record->header.size);
      return true;
    }
    if (current) return false;
    if (errorCode == 0) continue;  // a shared name gone: the file is made anew
    HeldFileWait* wait = &record->wait;
    if (!waitForHeldFile(wait, targetPath, errorCode)) {
      if (isHeldEmptyFileCurrent(wait)) return false;
      endWithWideText(MESSAGE_OPEN_FOR_WRITING_FAILED, targetPath);
    }
    if (wait->changed && holdsRecordContent(record->header, checkWhenFree(targetPath, wait))) return false;
  }
}

}  // namespace

// A name that would leave the target directory means a damaged or crafted
// payload: it is reported as such before anything of its record is written.
void prepareRecord(const RecordAtHand* record) {
  if (!isNameInsideFolder(record->header.name)) fatalError(MESSAGE_DECODE_FAILED);
  buildTargetPath(record->header);
  if (firstFilePath[0] == L'\0') appendWideBounded(firstFilePath, PATH_CAPACITY, targetPath);
}

// The check makes no write open: a file that is current is left alone even
// while a running program has it loaded, which Windows would not let anyone
// open for writing. A file in a directory that this run made is not looked
// for: it can only be missing, unless another start has made it since, which
// the write open (or the link, which then finds a name there) finds out. A
// file that could be read is there and is not taken: it is written over.
// The program to start is never taken: it runs whenever the folders of older
// versions are removed, and Windows lets no name of a running program go, so
// the older folder would keep its name for as long as any version runs.
RecordFate decideRecordFate(RecordAtHand* record, TakingChoice taking) {
  record->wait = HeldFileWait{};
  record->wait.emptyIsCurrent = record->header.size == 0;
  ExistingFile missing = {NO_USABLE_FILE, false};
  ExistingFile found = isInCreatedDirectory(targetPath) ? missing : checkWhenFree(targetPath, &record->wait);
  if (holdsRecordContent(record->header, found)) return RECORD_CURRENT;
  bool mayTake = taking == MAY_TAKE && !record->wait.readable && wcscmp(targetPath, firstFilePath) != 0;
  if (mayTake && takeFromVersionBeside(&record->header, targetPath))
    return RECORD_TAKEN;
  return RECORD_TO_WRITE;
}

void writeRecordFile(RecordAtHand* record) {
  createDirectories(targetPath);
  if (!writeRecordContent(record)) skipFileContent(record->header.size);
}

void settleStreamRecord(RecordAtHand* record, TakingChoice taking) {
  prepareRecord(record);
  if (decideRecordFate(record, taking) == RECORD_TO_WRITE)
    writeRecordFile(record);
  else
    skipFileContent(record->header.size);
}

// A payload without an index is one stream, whose files are all written.
void unpackPayload(void) {
  if (unpackIndexedGroups()) return;
  static RecordAtHand record;
  while (payloadReadRecordHeader(&record.header)) settleStreamRecord(&record, WRITE_ONLY);
}
