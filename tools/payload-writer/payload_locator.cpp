#include "payload_locator.h"

#include <cstring>

#include "payload/format.h"
#include "pe_layout.h"
#include "record_encoding.h"
#include "resources/attached.h"

namespace onefile {
namespace {

// True when the trailer's length field at lengthField says that the payload
// starts at start.
bool trailerCountsBackTo(const unsigned char* data, size_t start, size_t lengthField) {
  for (unsigned i = 1; i <= PAYLOAD_TRAILER_ZERO_BYTES; ++i)
    if (data[lengthField - i] != 0) return false;
  return readLittleEndian(data + lengthField, PAYLOAD_LENGTH_FIELD_BYTES) == lengthField - start;
}

struct SectionBytes {
  size_t offset = 0;  // in the file
  size_t size = 0;    // what the section holds, as far as the file has it
};

// The attached-data section of a PE image, read from the file's headers.
std::optional<SectionBytes> attachedSection(const unsigned char* data, size_t size) {
  if (size < DOS_NEW_HEADER_FIELD + 4 || data[0] != 'M' || data[1] != 'Z') return std::nullopt;
  size_t pe = readLittleEndian(data + DOS_NEW_HEADER_FIELD, 4);
  if (pe > size || size - pe < sizeof PE_SIGNATURE + FILE_HEADER_SIZE ||
      std::memcmp(data + pe, PE_SIGNATURE, sizeof PE_SIGNATURE) != 0)
    return std::nullopt;
  size_t fileHeader = pe + sizeof PE_SIGNATURE;
  size_t table = fileHeader + FILE_HEADER_SIZE + readLittleEndian(data + fileHeader + FH_OPTIONAL_SIZE, 2);
  size_t count = readLittleEndian(data + fileHeader + FH_SECTION_COUNT, 2);
  if (table > size || (size - table) / SECTION_HEADER_SIZE < count) return std::nullopt;
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* header = data + table + SECTION_HEADER_SIZE * i;
    if (std::memcmp(header, ATTACHED_SECTION_NAME, sizeof ATTACHED_SECTION_NAME) != 0) continue;
    size_t offset = readLittleEndian(header + SH_RAW_OFFSET, 4);
    size_t held = std::min(readLittleEndian(header + SH_VIRTUAL_SIZE, 4), readLittleEndian(header + SH_RAW_SIZE, 4));
    if (offset > size) return std::nullopt;
    return SectionBytes{offset, std::min(held, size - offset)};
  }
  return std::nullopt;
}

std::optional<PayloadLocation> payloadInSection(const unsigned char* data, const SectionBytes& section) {
  if (section.size < sizeof(AttachedDataHeader) ||
      std::memcmp(data + section.offset, ATTACHED_DATA_TAG, sizeof ATTACHED_DATA_TAG) != 0)
    return std::nullopt;
  const unsigned char* header = data + section.offset;
  uint64_t offset = readLittleEndian(header + offsetof(AttachedDataHeader, payloadOffset), 8);
  uint64_t length = readLittleEndian(header + offsetof(AttachedDataHeader, payloadSize), 8);
  if (offset > section.size || length > section.size - offset) return std::nullopt;
  size_t start = section.offset + static_cast<size_t>(offset);
  bool trailerValid = length >= PAYLOAD_MAGIC_SIZE + PAYLOAD_TRAILER_SIZE &&
                      trailerCountsBackTo(data, start, start + length - PAYLOAD_LENGTH_FIELD_BYTES);
  return PayloadLocation{start, static_cast<size_t>(length), true, trailerValid};
}

}  // namespace

std::optional<PayloadLocation> locatePayload(const unsigned char* data, size_t size) {
  if (size >= PAYLOAD_MAGIC_SIZE && std::memcmp(data, PAYLOAD_MAGIC, PAYLOAD_MAGIC_SIZE) == 0) {
    bool trailerValid = size >= PAYLOAD_MAGIC_SIZE + PAYLOAD_TRAILER_SIZE &&
                        trailerCountsBackTo(data, 0, size - PAYLOAD_LENGTH_FIELD_BYTES);
    return PayloadLocation{0, size, false, trailerValid};
  }
  std::optional<SectionBytes> section = attachedSection(data, size);
  if (!section) return std::nullopt;
  return payloadInSection(data, *section);
}

}  // namespace onefile
