// The groups of a payload whose frames each follow an index (format.h). A
// group's files are checked from its index, in order, as the record loop
// checks them; when all are current, its frame is stepped over undecoded.
// Otherwise the frame is decoded through the record loop, which takes up
// where the check stopped: no file is checked twice, and every file system
// call comes in the order that decoding alone would make it.
#include "diag/report.h"
#include "payload/file-content.h"
#include "payload/frame-index.h"
#include "payload/reader.h"
#include "payload/record-steps.h"

namespace {

PayloadIndex group;
const RecordHeader END_RECORD = {};

// Checks the group's files up to the first one that is not current: true
// when there is none. *current is the count of files found current, *wait
// what the check saw of the next one.
bool areAllFilesCurrent(size_t* current, HeldFileWait* wait) {
  size_t position = 0;
  *current = 0;
  while (readIndexEntry(group.entries, group.entriesSize, &position, &record) == INDEX_ENTRY_FILE) {
    prepareRecord();
    if (!isRecordFileCurrent(wait)) return false;
    ++*current;
  }
  return true;
}

// Every record the frame decodes to must be the index's entry at its place:
// a frame that differs from its index is as damaged as one that does not
// decode. The first `current` files were found current, the next one was
// found not to be.
void decodeGroup(size_t current, HeldFileWait* wait) {
  payloadBeginFrame(&group);
  size_t position = 0;
  for (size_t place = 0; readIndexEntry(group.entries, group.entriesSize, &position, &record) == INDEX_ENTRY_FILE;
       ++place) {
    payloadReadExpectedHeader(&record);
    if (place < current) {
      skipFileContent(record.size);
    } else if (place == current) {
      prepareRecord();
      writeRecordFile(wait);
    } else {
      unpackFileRecord();
    }
  }
  if (group.holdsEnd) payloadReadExpectedHeader(&END_RECORD);
  payloadEndFrame(&group);
}

}  // namespace

// Once the first frame has an index, every frame must: a frame without one
// can only be damage. A skipped frame moves the progress as a decoded one does.
bool unpackIndexedGroups(void) {
  if (!payloadReadIndex(&group)) return false;
  for (;;) {
    size_t current = 0;
    HeldFileWait wait;
    if (areAllFilesCurrent(&current, &wait)) {
      payloadSkipFrame(&group);
      noteContentProgress();
    } else {
      decodeGroup(current, &wait);
    }
    if (group.holdsEnd) return true;
    if (!payloadReadIndex(&group)) fatalError(MESSAGE_DECODE_FAILED);
  }
}
