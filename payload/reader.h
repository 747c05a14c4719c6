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

// How far the decoder has come through the compressed payload, in parts of
// scale: a share that grows steadily with the work, whatever the files' sizes.
unsigned payloadProgress(unsigned scale);

// Releases the decoder, then the output block.
void closePayload(void);
