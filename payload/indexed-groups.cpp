// The groups of a payload whose frames each follow an index (format.h). A
// group's files are judged from its index, in order, as the record loop
// judges them; when each is current or taken from another version's folder,
// its frame is stepped over undecoded. Otherwise the frame is decoded, and
// the loop takes up where the judging stopped: no file is checked twice, and
// only the files neither current nor taken are written.
#include "payload/indexed-groups.h"

#include "diag/report.h"
#include "payload/file-content.h"
#include "payload/frame-index.h"
#include "payload/reader.h"
#include "payload/record-steps.h"

namespace {

// One group on its way: its index, how far the judging before its frame
// came, and the file at which it stopped.
struct GroupState {
  PayloadIndex index;
  size_t settled;       // files found current or taken, from the first on
  bool needsFrame;      // a file was found to be written: the next one
  RecordAtHand toWrite;  // that file, with what its check found
};

GroupState group;
RecordAtHand decoded;
const RecordHeader END_RECORD = {};

// Judges the group's files up to the first that must be written from the
// frame. An empty file needs nothing from the frame: it is written at once.
void settleFromIndex(GroupState* state) {
  size_t position = 0;
  state->settled = 0;
  state->needsFrame = false;
  RecordAtHand* record = &state->toWrite;
  while (readIndexEntry(state->index.entries, state->index.entriesSize, &position, &record->header) ==
         INDEX_ENTRY_FILE) {
    prepareRecord(record);
    if (decideRecordFate(record, MAY_TAKE) == RECORD_TO_WRITE) {
      state->needsFrame = record->header.size != 0;
      if (state->needsFrame) return;
      writeRecordFile(record);
    }
    ++state->settled;
  }
}

// Every record the frame decodes to must be the index's entry at its place:
// a frame that differs from its index is as damaged as one that does not
// decode.
void decodeGroup(GroupState* state) {
  payloadBeginFrame(&state->index);
  size_t position = 0;
  for (size_t place = 0; readIndexEntry(state->index.entries, state->index.entriesSize, &position, &decoded.header) ==
                         INDEX_ENTRY_FILE;
       ++place) {
    payloadReadExpectedHeader(&decoded.header);
    if (place < state->settled) {
      skipFileContent(decoded.header.size);
    } else if (place == state->settled) {
      prepareRecord(&state->toWrite);
      writeRecordFile(&state->toWrite);
    } else {
      settleStreamRecord(&decoded, MAY_TAKE);
    }
  }
  if (state->index.holdsEnd) payloadReadExpectedHeader(&END_RECORD);
  payloadEndFrame(&state->index);
}

}  // namespace

// Once the first frame has an index, every frame must: a frame without one
// can only be damage. A skipped frame moves the progress as a decoded one does.
bool unpackIndexedGroups(void) {
  if (!payloadReadIndex(&group.index)) return false;
  for (;;) {
    settleFromIndex(&group);
    if (group.needsFrame) {
      decodeGroup(&group);
    } else {
      payloadSkipFrame(&group.index);
      noteContentProgress();
    }
    if (group.index.holdsEnd) return true;
    if (!payloadReadIndex(&group.index)) fatalError(MESSAGE_DECODE_FAILED);
  }
}
