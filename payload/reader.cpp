#include "payload/reader.h"

#include "diag/report.h"
#include "payload/format.h"
#include "resources/embedded.h"

// Placeholder until the decoder lands: only the magic is checked.
void openPayload(void) { openPayloadBytes(onefilePayload, onefilePayloadSize); }

void openPayloadBytes(const unsigned char* payload, uint64_t size) {
  if (size < PAYLOAD_MAGIC_SIZE || payload[0] != PAYLOAD_MAGIC[0] || payload[1] != PAYLOAD_MAGIC[1] ||
      payload[2] != PAYLOAD_MAGIC[2])
    fatalError(MESSAGE_NO_HEADER);
}

void payloadRead(void*, uint64_t) { fatalError(MESSAGE_DECODE_FAILED); }
void closePayload(void) {}
