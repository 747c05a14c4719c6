// Hands out the payload's decoded record stream in exact amounts.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "payload/record-cursor.h"

// Checks the magic, then allocates the output block and the decoder.
void openPayload(void);

// As openPayload, over any payload in memory; the bootstrap passes its own.
void openPayloadBytes(const unsigned char* payload, uint64_t size);

// Copies exactly count (> 0) bytes of the decoded stream, or ends the run.
void payloadRead(void* destination, uint64_t count);

// The next decoded bytes where they lie, for callers that need no copy of
// their own: at least 1 and at most count (> 0) of them, never more than the
// block still holds. Sets *taken to their number; they stay valid until the
// next call into the reader. Ends the run as payloadRead does.
const unsigned char* payloadTake(uint64_t count, size_t* taken);

// Reads the next record's header into header: false at the end record, once
// the frame holding it has been decoded to its end. A name that does not fit
// ends the run like every full buffer (status 4); a damaged or cut-off stream,
// or a frame whose content checksum does not match, ends it with the decode
// message.
bool payloadReadRecordHeader(RecordHeader* header);

// The index before the next frame, its entries decoded (payload/format.h).
struct PayloadIndex {
  const unsigned char* entries;  // valid until the next payloadReadIndex
  size_t entriesSize;
  bool holdsEnd;       // the frame holds the end record, after the entries' files
  size_t frameStart;   // the frame's place in the payload's frames
  uint64_t frameSize;
};

// Reads the index that comes next, where a frame starts: false when none
// does (the payload has one frame and no index). A damaged index, one whose
// checksum fails or whose sizes leave the payload, ends the run with the
// decode message.
bool payloadReadIndex(PayloadIndex* index);

// Steps over the index's frame without decoding it.
void payloadSkipFrame(const PayloadIndex* index);

// Decodes the index's frame, and no further, through payloadRead.
void payloadBeginFrame(const PayloadIndex* index);

// Reads the next record's header: it must be the expected one (an empty name
// for the end record), or the run ends with the decode message.
void payloadReadExpectedHeader(const RecordHeader* expected);

// The frame must end here, exactly at its size, its content checksum
// matching; else the run ends with the decode message. The next index follows.
void payloadEndFrame(const PayloadIndex* index);

// How far the decoder has come through the compressed payload, in parts of
// scale: a share that grows steadily with the work, whatever the files' sizes.
unsigned payloadProgress(unsigned scale);

// Releases the decoder, then the output block.
void closePayload(void);
