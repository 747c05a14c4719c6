#include "diag/system-calls.h"
#include "payload/reader.h"

#include <windows.h>
#include <zstd.h>

#include "diag/release.h"
#include "diag/report.h"
#include "payload/format.h"
#include "payload/frame-index.h"
#include "resources/embedded.h"

namespace {

// A run reads one payload once, front to back: the reader's state exists once.
DecodeStream payloadStream;
// The decoded entries of the index at hand; allocated at the first index.
unsigned char* indexEntries;
RecordHeader decodedHeader;

bool hasPayloadMagic(const unsigned char* payload, uint64_t size) {
  if (size < PAYLOAD_MAGIC_SIZE) return false;
  for (unsigned i = 0; i < PAYLOAD_MAGIC_SIZE; ++i)
    if (payload[i] != PAYLOAD_MAGIC[i]) return false;
  return true;
}

}  // namespace

void openPayload(void) { openPayloadBytes(onefilePayload, onefilePayloadSize); }

void openPayloadBytes(const unsigned char* payload, uint64_t size) {
  // The magic is checked before anything is allocated.
  if (!hasPayloadMagic(payload, size)) fatalError(MESSAGE_NO_HEADER);
  void* block = systemCalls.heapAlloc(GetProcessHeap(), 0, PAYLOAD_OUTPUT_BLOCK_SIZE);
  if (block == nullptr) fatalError(MESSAGE_NO_MEMORY);
  ZSTD_DCtx* decoder = systemCalls.createDecoder();
  if (decoder == nullptr) fatalError(MESSAGE_NO_MEMORY);
  startDecodeStream(&payloadStream, decoder, payload + PAYLOAD_MAGIC_SIZE, (size_t)(size - PAYLOAD_MAGIC_SIZE),
                    (unsigned char*)block, PAYLOAD_OUTPUT_BLOCK_SIZE);
}

// A stream that ends before its end record fails like a damaged one: waiting
// would never bring more.
void payloadRead(void* destination, uint64_t count) {
  if (decodeStreamRead(&payloadStream, destination, count) != DECODE_OK) fatalError(MESSAGE_DECODE_FAILED);
}

const unsigned char* payloadTake(uint64_t count, size_t* taken) {
  const unsigned char* bytes = nullptr;
  if (decodeStreamTake(&payloadStream, count, &bytes, taken) != DECODE_OK) fatalError(MESSAGE_DECODE_FAILED);
  return bytes;
}

// A name that does not fit ends the run without a message, as every other
// full buffer does: such a payload was never made by the packer, and a
// message could not name anything the user can act on.
//
// At the end record the frame that holds it is decoded to its end, so that
// zstd checks the frame's content checksum (when the frame has one) before
// the program starts: the records and every file's content, skipped ones
// included, are then known to be what was packed. Nothing after that frame
// is decoded.
bool payloadReadRecordHeader(RecordHeader* header) {
  switch (readRecordHeader(&payloadStream, header)) {
    case RECORD_FILE:
      return true;
    case RECORD_END:
      if (decodeStreamFinishFrame(&payloadStream) != DECODE_OK) fatalError(MESSAGE_DECODE_FAILED);
      return false;
    case RECORD_NAME_TOO_LONG:
      endRunOnFullBuffer();
    default:
      fatalError(MESSAGE_DECODE_FAILED);
  }
}

bool payloadReadIndex(PayloadIndex* index) {
  IndexFrame found;
  size_t at = payloadStream.inputPos;
  IndexStatus status = findIndexFrame(payloadStream.input + at, payloadStream.inputSize - at, &found);
  if (status == INDEX_NONE) return false;
  if (status == INDEX_DAMAGED) fatalError(MESSAGE_DECODE_FAILED);
  if (indexEntries == nullptr) {
    indexEntries = (unsigned char*)systemCalls.heapAlloc(GetProcessHeap(), 0, INDEX_ENTRIES_MAX_BYTES);
    if (indexEntries == nullptr) fatalError(MESSAGE_NO_MEMORY);
  }
  if (!decodeIndexEntries(payloadStream.decoder, &found, indexEntries, &index->holdsEnd))
    fatalError(MESSAGE_DECODE_FAILED);
  index->entries = indexEntries;
  index->entriesSize = found.entriesSize;
  index->frameStart = at + found.indexSize;
  index->frameSize = found.frameSize;
  return true;
}

void payloadSkipFrame(const PayloadIndex* index) {
  size_t end = index->frameStart + (size_t)index->frameSize;
  decodeStreamRestartAt(&payloadStream, end, end);
}

void payloadBeginFrame(const PayloadIndex* index) {
  decodeStreamRestartAt(&payloadStream, index->frameStart, index->frameStart + (size_t)index->frameSize);
}

void payloadReadExpectedHeader(const RecordHeader* expected) {
  RecordStatus status = readRecordHeader(&payloadStream, &decodedHeader);
  if ((status != RECORD_FILE && status != RECORD_END) || !isSameRecordHeader(&decodedHeader, expected))
    fatalError(MESSAGE_DECODE_FAILED);
}

// The input after the frame is the payload's again, for the next index.
void payloadEndFrame(const PayloadIndex* index) {
  if (decodeStreamEndsHere(&payloadStream) != DECODE_OK) fatalError(MESSAGE_DECODE_FAILED);
  size_t end = index->frameStart + (size_t)index->frameSize;
  decodeStreamRestartAt(&payloadStream, end, payloadStream.inputSize);
}

unsigned payloadProgress(unsigned scale) {
  if (payloadStream.inputSize == 0) return scale;
  return (unsigned)((uint64_t)payloadStream.inputPos * scale / payloadStream.inputSize);
}

void closePayload(void) {
  if (indexEntries != nullptr) releaseQuietly(systemCalls.heapFree(GetProcessHeap(), 0, indexEntries));
  indexEntries = nullptr;
  releaseQuietly(systemCalls.freeDecoder(payloadStream.decoder));
  releaseQuietly(systemCalls.heapFree(GetProcessHeap(), 0, payloadStream.block));
  payloadStream.decoder = nullptr;
  payloadStream.block = nullptr;
  payloadStream.fill = 0;
  payloadStream.cursor = 0;
}
