// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the other shared headers.
//
// The one decode loop and record cursor over a payload's frames, shared by the
// bootstrap's reader and the packaging tool's list and verify. It takes bytes
// in memory and reports every outcome as a status, so each caller chooses its
// own ending; it needs neither exceptions nor the C++ library.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "diag/limits.h"
#include "payload/format.h"

// A record name's code unit: the system's wide character on Windows, where
// names go straight into paths, and char16_t elsewhere.
#ifdef _WIN32
using RecordNameUnit = wchar_t;
#else
using RecordNameUnit = char16_t;
#endif
static_assert(sizeof(RecordNameUnit) == RECORD_NAME_UNIT_BYTES);

// The bootstrap's output block, which every decoded byte passes through.
inline constexpr uint32_t PAYLOAD_OUTPUT_BLOCK_SIZE = 0x20000;

// zstd's decoder, as zstd.h declares it; only record-cursor.cpp looks inside.
typedef struct ZSTD_DCtx_s ZSTD_DCtx;

enum DecodeStatus : unsigned {
  DECODE_OK,
  DECODE_ENDED,    // the input is spent and the decoder holds nothing more
  DECODE_DAMAGED,  // zstd refused the input: see DecodeStream::error
};

// The frames after the magic, decoded through one output block. Between
// decode calls, fill is the block's fill level and cursor the read position;
// both start at 0, so the first read decodes.
struct DecodeStream {
  ZSTD_DCtx* decoder;
  const unsigned char* input;
  size_t inputSize;
  size_t inputPos;  // bytes of input the decoder has taken
  size_t inputEnd;  // where decoding stops: inputSize, or the end of one frame
  unsigned char* block;
  size_t blockSize;
  size_t fill;
  size_t cursor;
  // The last decode call filled the whole block, so the decoder may still hold
  // output that did not fit, even with all input consumed.
  bool lastCallFilled;
  // The last decode call reached the end of its frame: zstd returned 0, after
  // checking the frame's content checksum if the frame carries one.
  bool frameEnded;
  uint64_t decodedOffset;  // bytes handed out or skipped so far
  size_t error;            // zstd's result for DECODE_DAMAGED, else 0
  size_t errorInputPos;    // inputPos before the call that failed
};

// Starts decoding frames[0..size) through block[0..blockSize) with decoder
// (zstd's defaults: no dictionary, a window of at most 2^PAYLOAD_WINDOW_LOG).
void startDecodeStream(DecodeStream* stream, ZSTD_DCtx* decoder, const unsigned char* frames, size_t size,
                       unsigned char* block, size_t blockSize);

// Copies exactly count bytes of the decoded stream to destination.
DecodeStatus decodeStreamRead(DecodeStream* stream, void* destination, uint64_t count);

// The next decoded bytes where they lie, for callers that need no copy:
// *bytes points at at least 1 and at most count (> 0) of them, never more
// than the block still holds, until the next call on the stream; *taken is
// their number.
DecodeStatus decodeStreamTake(DecodeStream* stream, uint64_t count, const unsigned char** bytes, size_t* taken);

// Decodes everything left; *left is how many decoded bytes that was.
DecodeStatus decodeStreamDrain(DecodeStream* stream, uint64_t* left);

// Decodes the rest of the current frame, dropping what it yields, until zstd
// reports the frame's end; the input after that frame is never offered to the
// decoder. zstd checks the frame's content checksum there, if it has one, so
// a mismatch comes back as DECODE_DAMAGED; a frame cut short before its end
// as DECODE_ENDED.
DecodeStatus decodeStreamFinishFrame(DecodeStream* stream);

// Moves the stream to input[position], where a frame starts, and bounds its
// decoding to input[position..end): what the block holds is dropped and the
// decoder starts that frame anew. end == position steps over the input
// without decoding it.
void decodeStreamRestartAt(DecodeStream* stream, size_t position, size_t end);

// Whether the frame ends exactly here: the block holds nothing more, the
// decoder reaches the frame's end without yielding a byte, and the frame ends
// at inputEnd. DECODE_DAMAGED (error 0) when more follows.
DecodeStatus decodeStreamEndsHere(DecodeStream* stream);

enum RecordStatus : unsigned {
  RECORD_FILE,           // a file record's header; its content follows
  RECORD_END,            // the end record
  RECORD_NAME_TOO_LONG,  // more than RECORD_NAME_MAX_UNITS units before a zero
  RECORD_STREAM_ENDED,   // the stream ended inside or before a record
  RECORD_DAMAGED,        // zstd refused the input
};

// Everything of a file record before its content.
struct RecordHeader {
  RecordNameUnit name[RECORD_NAME_CAPACITY];  // zero-terminated
  size_t nameLength;
  uint64_t size;
  uint32_t checksum;
};

// Reads the next record's header. The content's size bytes are read after it
// with decodeStreamRead.
RecordStatus readRecordHeader(DecodeStream* stream, RecordHeader* header);
