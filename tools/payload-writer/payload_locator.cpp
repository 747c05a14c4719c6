#include "payload_locator.h"

#include <algorithm>
#include <cstring>

#include "payload/format.h"
#include "record_encoding.h"

namespace onefile {
namespace {

constexpr unsigned char ZSTD_FRAME_MAGIC[4] = {0x28, 0xB5, 0x2F, 0xFD};

// True when the trailer's length field at lengthField says that the payload
// starts at start.
bool trailerCountsBackTo(const unsigned char* data, size_t start, size_t lengthField) {
  for (unsigned i = 1; i <= PAYLOAD_TRAILER_ZERO_BYTES; ++i)
    if (data[lengthField - i] != 0) return false;
  return readLittleEndian(data + lengthField, PAYLOAD_LENGTH_FIELD_BYTES) == lengthField - start;
}

std::optional<PayloadLocation> embeddedAt(const unsigned char* data, size_t size, size_t start) {
  size_t first = start + PAYLOAD_MAGIC_SIZE + sizeof ZSTD_FRAME_MAGIC + PAYLOAD_TRAILER_ZERO_BYTES;
  for (size_t field = first; field + PAYLOAD_LENGTH_FIELD_BYTES <= size; ++field) {
    if (trailerCountsBackTo(data, start, field))
      return PayloadLocation{start, field + PAYLOAD_LENGTH_FIELD_BYTES - start, true, true};
  }
  return std::nullopt;
}

}  // namespace

std::optional<PayloadLocation> locatePayload(const unsigned char* data, size_t size) {
  if (size >= PAYLOAD_MAGIC_SIZE && std::memcmp(data, PAYLOAD_MAGIC, PAYLOAD_MAGIC_SIZE) == 0) {
    bool trailerValid = size >= PAYLOAD_MAGIC_SIZE + PAYLOAD_TRAILER_SIZE &&
                        trailerCountsBackTo(data, 0, size - PAYLOAD_LENGTH_FIELD_BYTES);
    return PayloadLocation{0, size, false, trailerValid};
  }
  unsigned char signature[PAYLOAD_MAGIC_SIZE + sizeof ZSTD_FRAME_MAGIC];
  std::memcpy(signature, PAYLOAD_MAGIC, PAYLOAD_MAGIC_SIZE);
  std::memcpy(signature + PAYLOAD_MAGIC_SIZE, ZSTD_FRAME_MAGIC, sizeof ZSTD_FRAME_MAGIC);
  const unsigned char* end = data + size;
  for (const unsigned char* at = std::search(data, end, signature, signature + sizeof signature); at != end;
       at = std::search(at + 1, end, signature, signature + sizeof signature)) {
    if (auto found = embeddedAt(data, size, static_cast<size_t>(at - data))) return found;
  }
  return std::nullopt;
}

}  // namespace onefile
