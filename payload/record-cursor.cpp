// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the shared headers.
#include "payload/record-cursor.h"

#include <string.h>
#include <zstd.h>

namespace {

// Refills the used-up block from its start. Within the record stream frame
// ends do not matter: with input left, the next call simply begins the next
// frame. Only finishing the last frame asks whether one has ended.
DecodeStatus refill(DecodeStream* stream) {
  if (stream->inputPos == stream->inputEnd && !stream->lastCallFilled) return DECODE_ENDED;
  ZSTD_inBuffer input = {stream->input, stream->inputEnd, stream->inputPos};
  ZSTD_outBuffer output = {stream->block, stream->blockSize, 0};
  size_t result = ZSTD_decompressStream(stream->decoder, &output, &input);
  if (ZSTD_isError(result)) {
    stream->error = result;
    stream->errorInputPos = stream->inputPos;
    return DECODE_DAMAGED;
  }
  stream->inputPos = input.pos;
  stream->lastCallFilled = output.pos == output.size;
  stream->frameEnded = result == 0;
  stream->fill = output.pos;
  stream->cursor = 0;
  return DECODE_OK;
}

RecordStatus recordStatusOf(DecodeStatus status) {
  return status == DECODE_ENDED ? RECORD_STREAM_ENDED : RECORD_DAMAGED;
}

}  // namespace

void startDecodeStream(DecodeStream* stream, ZSTD_DCtx* decoder, const unsigned char* frames, size_t size,
                       unsigned char* block, size_t blockSize) {
  stream->decoder = decoder;
  stream->input = frames;
  stream->inputSize = size;
  stream->inputPos = 0;
  stream->inputEnd = size;
  stream->block = block;
  stream->blockSize = blockSize;
  stream->fill = 0;
  stream->cursor = 0;
  stream->lastCallFilled = false;
  stream->frameEnded = false;
  stream->decodedOffset = 0;
  stream->error = 0;
  stream->errorInputPos = 0;
}

DecodeStatus decodeStreamTake(DecodeStream* stream, uint64_t count, const unsigned char** bytes, size_t* taken) {
  // A decode call may produce nothing (it took only a frame header, say).
  while (stream->cursor == stream->fill) {
    DecodeStatus status = refill(stream);
    if (status != DECODE_OK) return status;
  }
  size_t available = stream->fill - stream->cursor;
  *taken = available < count ? available : (size_t)count;
  *bytes = stream->block + stream->cursor;
  stream->cursor += *taken;
  stream->decodedOffset += *taken;
  return DECODE_OK;
}

DecodeStatus decodeStreamRead(DecodeStream* stream, void* destination, uint64_t count) {
  unsigned char* to = (unsigned char*)destination;
  while (count != 0) {
    const unsigned char* from = nullptr;
    size_t piece = 0;
    DecodeStatus status = decodeStreamTake(stream, count, &from, &piece);
    if (status != DECODE_OK) return status;
    memcpy(to, from, piece);
    to += piece;
    count -= piece;
  }
  return DECODE_OK;
}

DecodeStatus decodeStreamDrain(DecodeStream* stream, uint64_t* left) {
  *left = 0;
  for (;;) {
    uint64_t held = stream->fill - stream->cursor;
    *left += held;
    stream->decodedOffset += held;
    stream->cursor = stream->fill;
    DecodeStatus status = refill(stream);
    if (status != DECODE_OK) return status == DECODE_ENDED ? DECODE_OK : status;
  }
}

// Whatever the block still holds belongs to the current frame, as does what
// the decoder still has: the call that ended the frame, if any, made the block.
DecodeStatus decodeStreamFinishFrame(DecodeStream* stream) {
  for (;;) {
    stream->decodedOffset += stream->fill - stream->cursor;
    stream->cursor = stream->fill;
    if (stream->frameEnded) return DECODE_OK;
    DecodeStatus status = refill(stream);
    if (status != DECODE_OK) return status;
  }
}

void decodeStreamRestartAt(DecodeStream* stream, size_t position, size_t end) {
  ZSTD_DCtx_reset(stream->decoder, ZSTD_reset_session_only);
  stream->decodedOffset += stream->fill - stream->cursor;
  stream->inputPos = position;
  stream->inputEnd = end;
  stream->fill = 0;
  stream->cursor = 0;
  stream->lastCallFilled = false;
  stream->frameEnded = false;
}

DecodeStatus decodeStreamEndsHere(DecodeStream* stream) {
  for (;;) {
    if (stream->cursor != stream->fill) return DECODE_DAMAGED;
    if (stream->frameEnded) return stream->inputPos == stream->inputEnd ? DECODE_OK : DECODE_DAMAGED;
    DecodeStatus status = refill(stream);
    if (status != DECODE_OK) return status;
  }
}

RecordStatus readRecordHeader(DecodeStream* stream, RecordHeader* header) {
  for (size_t used = 0;; ++used) {
    if (used == RECORD_NAME_CAPACITY) return RECORD_NAME_TOO_LONG;
    unsigned char unit[RECORD_NAME_UNIT_BYTES];
    DecodeStatus status = decodeStreamRead(stream, unit, sizeof unit);
    if (status != DECODE_OK) return recordStatusOf(status);
    header->name[used] = (RecordNameUnit)readLittleEndian(unit, sizeof unit);
    if (header->name[used] == 0) {
      header->nameLength = used;
      break;
    }
  }
  if (header->nameLength == 0) return RECORD_END;
  unsigned char fields[RECORD_SIZE_BYTES + RECORD_CHECKSUM_BYTES];
  DecodeStatus status = decodeStreamRead(stream, fields, sizeof fields);
  if (status != DECODE_OK) return recordStatusOf(status);
  header->size = readLittleEndian(fields, RECORD_SIZE_BYTES);
  header->checksum = (uint32_t)readLittleEndian(fields + RECORD_SIZE_BYTES, RECORD_CHECKSUM_BYTES);
  return RECORD_FILE;
}
