// Hands out the payload's decoded record stream in exact amounts.
#pragma once
#include <stddef.h>
#include <stdint.h>

// The one output block every decoded byte passes through.
inline constexpr uint32_t PAYLOAD_OUTPUT_BLOCK_SIZE = 0x20000;

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

// Releases the decoder, then the output block.
void closePayload(void);
