// The record loop's steps (extract.cpp), the same for the records of a
// payload's one stream and for those of its indexed groups
// (indexed-groups.h): a record at hand is prepared, its file judged once
// (current, taken from another version's folder, or to be written), and
// written if it must be.
#pragma once
#include "payload/held-files.h"
#include "payload/record-cursor.h"

// What becomes of a record's file: the loop's one decision.
enum RecordFate : unsigned char {
  RECORD_CURRENT,   // the file in place already holds the content
  RECORD_TAKEN,     // linked from another version's folder, where it was checked
  RECORD_TO_WRITE,  // to be written from the payload
};

// The record at hand: its header, read from the stream or from an index, and
// what the check of its file saw of a holder, which the write goes on from.
struct RecordAtHand {
  RecordHeader header;
  HeldFileWait wait;
};

// Where a file that is not current may come from besides the payload.
enum TakingChoice : bool { WRITE_ONLY = false, MAY_TAKE = true };

// Checks the record's name and builds its target path; the first file
// record's path becomes firstFilePath.
void prepareRecord(const RecordAtHand* record);

// Checks the prepared record's file and decides its fate. With MAY_TAKE, a
// file that is not there is taken from another version's folder if it can
// be. The check never opens the file for writing.
RecordFate decideRecordFate(RecordAtHand* record, TakingChoice taking);

// Writes the prepared record's content, found to be written, from the
// stream; or skips it, if the file proved current in the meantime.
void writeRecordFile(RecordAtHand* record);

// The three steps for a record whose content comes next in the stream.
void settleStreamRecord(RecordAtHand* record, TakingChoice taking);
