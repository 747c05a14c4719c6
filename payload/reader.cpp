#include "payload/reader.h"

#include <windows.h>
#include <string.h>
#include <zstd.h>

#include "diag/report.h"
#include "payload/format.h"
#include "resources/embedded.h"

namespace {

// A run reads one payload once, front to back: the reader's state exists once.
// Between decode calls the output record's size is the block's fill level and
// its position the read cursor; both start at 0, so the first read decodes.
ZSTD_inBuffer payloadInput;
ZSTD_outBuffer decodedBlock;
ZSTD_DCtx* decoder;
// The last decode call filled the whole block, so the decoder may still hold
// output that did not fit, even with all input consumed.
bool lastCallFilled;

bool hasPayloadMagic(const unsigned char* payload, uint64_t size) {
  if (size < PAYLOAD_MAGIC_SIZE) return false;
  for (unsigned i = 0; i < PAYLOAD_MAGIC_SIZE; ++i)
    if (payload[i] != PAYLOAD_MAGIC[i]) return false;
  return true;
}

// Refills the used-up block from the start. Frame ends are not looked at: with
// input left, the next call simply begins the next frame.
void decodeIntoBlock(void) {
  decodedBlock.size = PAYLOAD_OUTPUT_BLOCK_SIZE;
  decodedBlock.pos = 0;
  size_t result = ZSTD_decompressStream(decoder, &decodedBlock, &payloadInput);
  if (ZSTD_isError(result)) fatalError(MESSAGE_DECODE_FAILED);
  lastCallFilled = decodedBlock.pos == PAYLOAD_OUTPUT_BLOCK_SIZE;
  decodedBlock.size = decodedBlock.pos;
  decodedBlock.pos = 0;
}

}  // namespace

void openPayload(void) { openPayloadBytes(onefilePayload, onefilePayloadSize); }

void openPayloadBytes(const unsigned char* payload, uint64_t size) {
  // The magic is checked before anything is allocated.
  if (!hasPayloadMagic(payload, size)) fatalError(MESSAGE_NO_HEADER);
  void* block = HeapAlloc(GetProcessHeap(), 0, PAYLOAD_OUTPUT_BLOCK_SIZE);
  if (block == nullptr) fatalError(MESSAGE_NO_MEMORY);
  // zstd's defaults: no dictionary, and a window limit of 2^27, the payload's own.
  decoder = ZSTD_createDCtx();
  if (decoder == nullptr) fatalError(MESSAGE_NO_MEMORY);
  payloadInput.src = payload + PAYLOAD_MAGIC_SIZE;
  payloadInput.size = (size_t)(size - PAYLOAD_MAGIC_SIZE);
  payloadInput.pos = 0;
  decodedBlock.dst = block;
  decodedBlock.size = 0;
  decodedBlock.pos = 0;
  lastCallFilled = false;
}

const unsigned char* payloadTake(uint64_t count, size_t* taken) {
  // A decode call may produce nothing (it consumed only header bytes, say):
  // then decode again.
  while (decodedBlock.pos == decodedBlock.size) {
    if (payloadInput.pos < payloadInput.size || lastCallFilled) {
      decodeIntoBlock();
    } else {
      // No input left and nothing held back: the stream ended before its end
      // record. Waiting would never bring more.
      fatalError(MESSAGE_DECODE_FAILED);
    }
  }
  size_t available = decodedBlock.size - decodedBlock.pos;
  *taken = available < count ? available : (size_t)count;
  const unsigned char* bytes = (const unsigned char*)decodedBlock.dst + decodedBlock.pos;
  decodedBlock.pos += *taken;
  return bytes;
}

void payloadRead(void* destination, uint64_t count) {
  unsigned char* to = (unsigned char*)destination;
  while (count != 0) {
    size_t piece = 0;
    const unsigned char* from = payloadTake(count, &piece);
    memcpy(to, from, piece);
    to += piece;
    count -= piece;
  }
}

void closePayload(void) {
  ZSTD_freeDCtx(decoder);  // fails only for a context of a caller's own memory: ignored
  HeapFree(GetProcessHeap(), 0, decodedBlock.dst);  // the process goes on without the block either way
  decoder = nullptr;
  decodedBlock.dst = nullptr;
  decodedBlock.size = 0;
  decodedBlock.pos = 0;
}
